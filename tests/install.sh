#!/bin/sh
# What a user's machine receives: the install tree of this build as the desktop tools read it,
# and the Debian package made from it (not for a sanitizer build, which is never packaged).
# Usage: install.sh BUILD_DIR VERSION SANITIZED
set -eu
build=$1 version=$2 sanitized=$3
id=de.voskan.Voskan
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
files="bin/voskan
bin/voskan-render
share/applications/$id.desktop
share/doc/voskan/copyright
share/icons/hicolor/256x256/apps/$id.png
share/icons/hicolor/scalable/apps/$id.svg
share/metainfo/$id.metainfo.xml"

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/log" 2>&1 || fail "cmake --install: $(cat "$scratch/log")"
found=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
[ "$found" = "$(echo "$files" | sort)" ] || fail "installed files:
$found"

# desktop-file-validate reports hints with exit status 0: only silence passes.
out=$(desktop-file-validate "$prefix/share/applications/$id.desktop" 2>&1) || fail "$out"
[ -z "$out" ] || fail "$out"
appstreamcli validate-tree --no-net --strict "$prefix" >"$scratch/log" 2>&1 ||
    fail "appstreamcli: $(cat "$scratch/log")"
for line in "Exec=voskan %f" "Icon=$id" \
    "MimeType=image/jpeg;image/png;image/webp;image/tiff;image/heif;image/heic;image/avif;image/gif;"; do
    grep -qxF "$line" "$prefix/share/applications/$id.desktop" || fail "desktop entry lacks $line"
done
for text in "<launchable type=\"desktop-id\">$id.desktop</launchable>" "<binary>voskan-render</binary>" \
    "<release version=\"$version\""; do
    grep -qF "$text" "$prefix/share/metainfo/$id.metainfo.xml" || fail "metainfo lacks $text"
done

[ "$sanitized" = 1 ] && exit 0
cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake" >"$scratch/log" 2>&1 ||
    fail "cpack: $(cat "$scratch/log")"
deb=$(echo "$scratch"/package/*.deb)
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = voskan ] || fail "Package: $(field Package)"
case "$(field Version)" in "$version" | "$version"-*) ;; *) fail "Version: $(field Version)" ;; esac
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
# dpkg-shlibdeps finds the linked libraries; the rest are run as programs or loaded as plugins.
for name in libqt6widgets6 libqt6network6 libqt6dbus6 libvips42 libheif1 libplist3 libqt6svg6 \
    qt6-translations-l10n; do
    field Depends | grep -qE "(^|[ ,|])$name( |,|$)" || fail "Depends lacks $name: $(field Depends)"
done
for name in libglib2.0-bin qt6-wayland xdg-desktop-portal; do
    field Recommends | grep -qE "(^|[ ,|])$name( |,|$)" || fail "Recommends lacks $name"
done
dpkg -x "$deb" "$scratch/root"
found=$(cd "$scratch/root" && find . -type f -o -type l | sed 's|^\./||' | sort)
[ "$found" = "$(echo "$files" | sed 's|^|usr/|' | sort)" ] || fail "packaged files:
$found"
for binary in voskan voskan-render; do
    # Stripped, and no search path into the build machine's tree.
    readelf --wide --dynamic --section-headers "$scratch/root/usr/bin/$binary" >"$scratch/log"
    ! grep -qE 'RUNPATH|RPATH|\.symtab|\.debug_' "$scratch/log" || fail "$binary: $(grep -E 'RPATH|symtab|debug' "$scratch/log")"
done
echo "install and package: ok"
