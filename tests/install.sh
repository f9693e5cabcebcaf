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
share/bash-completion/completions/voskan
share/bash-completion/completions/voskan-render
share/fish/vendor_completions.d/voskan.fish
share/fish/vendor_completions.d/voskan-render.fish
share/man/man1/voskan.1.gz
share/man/man1/voskan-render.1.gz
share/zsh/vendor-completions/_voskan
share/zsh/vendor-completions/_voskan-render
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

# Both programs say their version without a display; the manual pages render without a warning
# and describe every option the help lists; the bash completion knows the same options and look
# fields and offers them.
for program in voskan voskan-render; do
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version 2>&1) ||
        fail "$program --version: $said"
    [ "$said" = "$program $version" ] || fail "$program --version says: $said"
    page=$prefix/share/man/man1/$program.1.gz
    warnings=$({ LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >/dev/null &&
        gzip -dc "$page" | groff -ww -z -man; } 2>&1)
    [ -z "$warnings" ] || fail "man $program: $warnings"
done
help=$("$prefix/bin/voskan-render" --help)
manual=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$prefix/share/man/man1/voskan-render.1.gz" 2>/dev/null)
completion=$prefix/share/bash-completion/completions/voskan-render
for option in $(echo "$help" | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    echo "$manual" | grep -qF -- "$option" || fail "the manual page lacks $option"
    grep -qE -- "(^|[ \"])$option( |\"|$)" "$completion" || fail "the bash completion lacks $option"
done
fields=$(echo "$help" | sed -n '/Felder:/{n;p}' | tr -d ' ' | tr ',' ' ')
[ -n "$fields" ] && grep -qF "\"$fields\"" "$completion" || fail "the bash completion's fields are not: $fields"
offered=$(bash -c 'source "$1"; COMP_WORDS=(voskan-render --set-d); COMP_CWORD=1; _voskan_render
                   printf "%s " "${COMPREPLY[@]}"' - "$completion" 2>/dev/null)
[ "$offered" = "--set-desktop " ] || fail "completing --set-d offers: $offered"

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
