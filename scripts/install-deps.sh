#!/bin/sh
# Installs the Debian packages that Kestrova needs.
#   sh scripts/install-deps.sh        what building and running need (make run)
#   sh scripts/install-deps.sh test   that and what the tests and the Debian
#                                     package need (make test, make package)
# Checks first, so a machine that has them all installs nothing and needs no
# network; otherwise runs one apt-get update and installs only what is missing.
set -eu

# Building, the manual pages, the window's fonts and Qt's own translations,
# and the Ogg and codec libraries the lossless cutters read headers with.
run_packages="g++ make cmake ninja-build pkg-config
qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
qt6-translations-l10n ffmpeg fonts-dejavu-core help2man
libogg-dev libvorbis-dev libopus-dev"

# The headless window, the local HTTPS server, Debian's checker and packaging
# tools, the shells whose completion is tested, rendering the manual pages,
# the sources' layout check, second decoders that check written files, a
# session bus, and the runner the cluster recipes use.
test_packages="xvfb xauth openssl
desktop-file-utils appstream dpkg-dev fakeroot file
lintian bash-completion zsh man-db groff-base clang-format
opus-tools vorbis-tools mpg123 dbus-daemon parallel"

case "${1:-run}" in
run) packages=$run_packages ;;
test) packages="$run_packages $test_packages" ;;
*)
    echo "usage: sh scripts/install-deps.sh [run|test]" >&2
    exit 2
    ;;
esac

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $p"
    fi
done

[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    # Said before anything fails, so a newcomer knows the way on.
    cat >&2 <<EOF
These Debian packages are missing, and installing them needs root, but sudo
is not installed. Either run, with root's password:
    su -c 'sh scripts/install-deps.sh ${1:-run}'
and then this make command again, or ask whoever looks after this machine
to install them:
   $missing
EOF
    exit 1
fi
if ! $sudo apt-get update; then
    echo "apt-get update failed: without the network, or without sudo rights, install the packages above as root." >&2
    exit 1
fi
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
