#!/bin/sh
# Installs a built tree into a scratch prefix and checks what a user's system
# would get: both executables, the desktop entry and metainfo (through their
# validators) and the icon at every size. Then builds the Debian package,
# checks its dependencies, unpacks it into a scratch root and runs the
# command line from there.
#
#   check-install.sh BUILD_DIR CMAKE CPACK VERSION
set -eu

build=$1
cmake=$2
cpack=$3
version=$4

# The id is the organisation domain reversed plus the executable's name:
# that is the app id Qt gives the window on Wayland, so the desktop finds
# the window's entry and icon by it.
id=example.orrinworks.kestrova
icon_sizes="16 24 32 48 64 128 256"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
die() {
    echo "FAIL: $*" >&2
    exit 1
}

for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream \
            dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev file:file; do
    command -v "${tool%%:*}" >/dev/null 2>&1 ||
        die "${tool%%:*} is missing; install the Debian package ${tool#*:} (scripts/install-deps.sh lists it)"
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-packaging.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export XDG_CACHE_HOME="$tmp/cache"

# --- cmake --install ------------------------------------------------------
prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 ||
    { cat "$tmp/install.log" >&2; die "cmake --install failed"; }

for exe in kestrova kestrova-cli; do
    [ -x "$prefix/bin/$exe" ] || fail "bin/$exe is not installed"
done

desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
[ -f "$desktop" ] || die "the desktop entry share/applications/$id.desktop is not installed"
[ -f "$metainfo" ] || die "the metainfo share/metainfo/$id.metainfo.xml is not installed"

# The validators pass warnings with exit status 0; any message at all fails.
out=$(desktop-file-validate "$desktop" 2>&1) || true
[ -z "$out" ] || fail "desktop-file-validate: $out"
# appstreamcli fails on warnings and errors; infos and pedantic notes pass.
appstreamcli validate --no-net "$metainfo" >"$tmp/as.log" 2>&1 ||
    { cat "$tmp/as.log" >&2; fail "appstreamcli validate"; }
# The tree check also ties the metainfo to the installed desktop entry.
appstreamcli validate-tree --no-net "$prefix" >"$tmp/as.log" 2>&1 ||
    { cat "$tmp/as.log" >&2; fail "appstreamcli validate-tree"; }

entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Exec)" = kestrova ] || fail "desktop entry Exec is '$(entry Exec)', not kestrova"
[ "$(entry Icon)" = "$id" ] || fail "desktop entry Icon is '$(entry Icon)', not $id"
grep -q "<release version=\"$version\"" "$metainfo" ||
    fail "the metainfo has no release entry for version $version"

for size in $icon_sizes; do
    png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
    if [ ! -f "$png" ]; then
        fail "no ${size}x$size icon"
    elif ! file -b "$png" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA"; then
        fail "${size}x$size icon is $(file -b "$png")"
    fi
done

# --- the Debian package -----------------------------------------------------
"$cpack" --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log" >&2; die "cpack failed"; }
deb=$tmp/pkg/kestrova_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || die "cpack did not write $(basename "$deb"): $(ls "$tmp/pkg")"

[ "$(dpkg-deb -f "$deb" Package)" = kestrova ] || fail "package name is $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in ffmpeg libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6; do
    echo "$depends" | tr ',' '\n' | grep -q "^ *$dep\( (.*)\)\? *$" ||
        fail "Depends does not name $dep"
done
# Every name must be a real package (all are installed where this builds).
for dep in $(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/|.*//'); do
    dpkg-query -W "$dep" >/dev/null 2>&1 || fail "Depends names $dep, which is no installed package"
done

# No root needed: unpack into a scratch root instead of installing.
root=$tmp/root
dpkg-deb -x "$deb" "$root"

# The package carries exactly what cmake --install puts under the prefix.
(cd "$prefix" && find . ! -type d | sort) >"$tmp/installed"
(cd "$root/usr" && find . ! -type d | sort) >"$tmp/packaged"
diff -u "$tmp/installed" "$tmp/packaged" >&2 ||
    fail "the package's files under /usr differ from cmake --install's"
[ -f "$root/usr/share/doc/kestrova/copyright" ] || fail "no usr/share/doc/kestrova/copyright"
# A new version needs its entry at the top of packaging/changelog.
top=$(gzip -dc "$root/usr/share/doc/kestrova/changelog.gz" | head -n 1)
case $top in
    "kestrova ($version) "*) ;;
    *) fail "the changelog starts with '$top', not an entry for $version" ;;
esac

for exe in kestrova kestrova-cli; do
    file -b "$root/usr/bin/$exe" | grep -q ', stripped' || fail "usr/bin/$exe is not stripped"
    if ldd "$root/usr/bin/$exe" | grep 'not found' >&2; then
        fail "usr/bin/$exe misses libraries"
    fi
done

got=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/kestrova-cli" --version 2>&1) ||
    fail "usr/bin/kestrova-cli --version exited with status $?"
[ "$got" = "kestrova-cli $version" ] ||
    fail "usr/bin/kestrova-cli --version printed '$got', not 'kestrova-cli $version'"

[ "$failures" -eq 0 ] || die "$failures check(s) failed"
echo "PASS: installed tree, desktop entry, metainfo, icons and $(basename "$deb")"
