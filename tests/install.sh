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

# Both programs say their version without a display; the manual pages render without a warning.
for program in voskan voskan-render; do
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version 2>&1) ||
        fail "$program --version: $said"
    [ "$said" = "$program $version" ] || fail "$program --version says: $said"
    page=$prefix/share/man/man1/$program.1.gz
    warnings=$({ LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >/dev/null &&
        gzip -dc "$page" | groff -ww -z -man; } 2>&1)
    [ -z "$warnings" ] || fail "man $program: $warnings"
done
# The help lists voskan-render's table of options; the manual page and the three completions
# must name exactly those options, and offer exactly the styles, presets, fields, counts and
# shells the help lists.
help=$("$prefix/bin/voskan-render" --help)
words() { tr ',' ' ' | sed 's/ oder / /g' | tr -s ' ' '\n' | sed '/^$/d'; }
same() { # what, expected, found
    [ "$(echo "$2" | sort)" = "$(echo "$3" | sort)" ] || fail "$1: expected
$(echo "$2" | sort | tr '\n' ' ')
found
$(echo "$3" | sort | tr '\n' ' ')"
}
options=$(echo "$help" | grep -oE '^  --[a-z-]+' | sed 's/^ *//')
[ "$(echo "$options" | wc -l)" -gt 20 ] || fail "the help lists the options: $options"
same "the options the help names anywhere" "$options" "$(echo "$help" | grep -oE -- '--[a-z][a-z-]+' | sort -u)"
styles=$(echo "$help" | sed -n 's/^  --style S *Stil: \(.*\) (Standard.*/\1/p' | words)
presets=$(echo "$help" | grep -oE '^ {21}[0-9]+ ' | tr -d ' ')
[ "$(echo "$presets" | tail -n1)" = "$(echo "$help" | sed -n 's/.*Liste (1–\([0-9]*\)).*/\1/p')" ] ||
    fail "the help's range of presets is not its list: $presets"
fields=$(echo "$help" | sed -n '/Felder:/{n;p}' | words)
counts=$(echo "$help" | sed -n 's/.*N Bilder (\(.*\)),$/\1/p' | words)
shells=$(echo "$help" | sed -n '/^  --completion/{n;p}' | sed 's/.*für \(.*\) ausgeben/\1/' | words)
for list in styles presets fields counts shells; do
    eval "[ \"\$(echo \"\$$list\" | wc -l)\" -ge 3 ]" || fail "the help's $list: $(eval echo \"\$$list\")"
done

manual=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$prefix/share/man/man1/voskan-render.1.gz" 2>/dev/null)
section() { echo "$manual" | sed -n "/^$1\$/,/^$2\$/p"; }
same "the manual's options" "$options" "$(section OPTIONS FIELDS | grep -oE '^ {7}--[a-z-]+' | sed 's/^ *//')"
# The fields are the tags of its FIELDS section, read from the page's source.
same "the manual's fields" "$fields" "$(gzip -dc "$prefix/share/man/man1/voskan-render.1.gz" |
    sed -n '/^\.SH FIELDS/,/^\.SH EXIT/{/^\.TP/{n;p}}' | sed 's/^\.B //; s/\\f[RPB]//g; s/\\%//g' | words)"
for style in $styles; do
    section OPTIONS FIELDS | sed -n '/^ \{7\}--style/,/^ \{7\}--/p' | grep -qw "$style" ||
        fail "the manual's --style lacks $style"
done

# bash, as bash-completion calls it.
completion=$prefix/share/bash-completion/completions/voskan-render
offer() {
    bash -c 'source "$1"; shift; COMP_WORDS=(voskan-render "$@"); COMP_CWORD=$#; _voskan_render
             printf "%s\n" "${COMPREPLY[@]}"' - "$completion" "$@" 2>/dev/null # compopt, outside a shell
}
same "bash completes --" "$options" "$(offer --)"
same "bash completes --set-d" "--set-desktop" "$(offer --set-d)"
for option in --style --dark-style; do same "bash completes $option" "$styles" "$(offer $option '')"; done
same "bash completes --preset" "$presets" "$(offer --preset '')"
same "bash completes --dark-set" "$(echo "$fields" | sed 's/$/=/')" "$(offer --dark-set '')"
same "bash completes --day-cycle" "$counts" "$(offer --day-cycle '')"
same "bash completes --completion" "$shells" "$(offer --completion '')"

# fish, as fish itself completes a command line.
completion=$prefix/share/fish/vendor_completions.d/voskan-render.fish
offer() { fish --no-config -c "source '$completion'; complete -C '$*'" 2>&1 | cut -f1; }
same "fish completes --" "$options" "$(offer voskan-render -- | grep -- '^--')"
same "fish completes --preset" "$presets" "$(offer voskan-render --preset '')"
same "fish completes --style" "$styles" "$(offer voskan-render --style '')"
same "fish completes --set" "$(echo "$fields" | sed 's/$/=/')" "$(offer voskan-render --set '')"
same "fish completes --day-cycle" "$counts" "$(offer voskan-render --day-cycle '')"

# zsh: a script it reads, each option once in _arguments, the lists of its values as the help's.
completion=$prefix/share/zsh/vendor-completions/_voskan-render
out=$(zsh -n "$completion" 2>&1) || fail "zsh reads _voskan-render: $out"
same "zsh's options" "$options" "$(grep -oE "^  '(\([^)]*\))?\*?--[a-z-]+" "$completion" | sed 's/.*--/--/')"
list() { sed -n "s/^  '\*\?$1\[.*:(\(.*\))' .*/\1/p" "$completion" | tr ' ' '\n'; }
same "zsh completes --preset" "$presets" "$(list --preset)"
same "zsh completes --style" "$styles" "$(list --style)"
same "zsh completes --day-cycle" "$counts" "$(list --day-cycle)"
same "zsh's fields" "$fields" "$(sed -n 's/^local -a fields=(\(.*\))$/\1/p' "$completion" | tr ' ' '\n')"

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
