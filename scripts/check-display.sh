#!/bin/sh
# Run by `make run` before anything is built: the window needs a graphical
# session, and without one Qt only aborts with a message that points nowhere.
# QT_QPA_PLATFORM set by hand (offscreen, vnc...) is taken as knowing better.
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
    exit 0
fi
cat >&2 <<'ADVICE'
make run: the Kestrova window needs a graphical session, and this one has none
(neither DISPLAY nor WAYLAND_DISPLAY is set), so the window would not open.
  - From a terminal on the desktop, make run works as it is; over SSH, use ssh -X.
  - Without a window, the command line does the same work:
        make build && build/cli/kestrova-cli --help
  - Or give the window a screen of its own in memory (make test installs xvfb):
        make build && xvfb-run build/app/kestrova
ADVICE
exit 1
