#!/bin/sh
# Installs the Debian packages that Kestrova needs to build, test and run.
# Checks first, so a machine that has them all installs nothing and needs no
# network; otherwise runs one apt-get update and installs only what is missing.
set -eu

packages="g++ make cmake ninja-build pkg-config
qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
qt6-translations-l10n ffmpeg xvfb xauth fonts-dejavu-core openssl
desktop-file-utils appstream dpkg-dev fakeroot file
help2man lintian bash-completion zsh man-db groff-base clang-format"

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
else
    sudo="sudo"
fi
$sudo apt-get update
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
