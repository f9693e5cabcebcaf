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

# What bash offers for WORD... typed in DIR, with the function COMPLETION registers for the
# command, called as bash calls it.
offers() {
    dir=$1 completion=$2
    shift 2
    (cd "$dir" && bash -c 'completion=$1; shift; source "$completion"
        function=$(complete -p "$1" | sed -nE "s/.* -F ([^ ]+) .*/\1/p")
        COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE}
        "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s " "${COMPREPLY[@]}"' - "$completion" "$@" 2>/dev/null)
}
words() { grep -oE -- '--[a-z]+(-[a-z]+)*' | sort -u; }
# NAME appears in TEXT as a word of its own (--at is not --at-login).
names() { printf '%s\n' "$1" | grep -qE -- "(^|[^A-Za-z0-9-])$2([^A-Za-z0-9-]|$)"; }
touch "$scratch/photo.jpg"

# Both programs say their version without a display, and their manual pages and completions
# name every option the help lists and none the program does not know. The pages are
# compressed as Debian keeps them (-9, no name or time: the same bytes on every build), carry
# the version and render without a warning from man or groff.
for program in voskan voskan-render; do
    binary=$prefix/bin/$program
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$binary" --version 2>&1) ||
        fail "$program --version: $said"
    [ "$said" = "$program $version" ] || fail "$program --version says: $said"
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$binary" --help 2>&1) ||
        fail "$program --help: $help"

    page=$prefix/share/man/man1/$program.1.gz
    header=$(od -An -tx1 -j3 -N6 "$page" | tr -d ' \n')
    [ "$header" = 000000000002 ] || fail "$program.1.gz: gzip flags, time and level are $header"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $program: $warnings"
    warnings=$(gzip -dc "$page" | groff -ww -z -man 2>&1)
    [ -z "$warnings" ] || fail "groff $program: $warnings"
    manual=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null)
    echo "$manual" | tail -n 1 | grep -qE "^Voskan $version " || fail "man $program ends: $(echo "$manual" | tail -n 1)"

    bash=$prefix/share/bash-completion/completions/$program
    zsh=$prefix/share/zsh/vendor-completions/_$program
    fish=$prefix/share/fish/vendor_completions.d/$program.fish
    head -n 1 "$zsh" | grep -qxF "#compdef $program" || fail "_$program is not for $program"
    for option in $(echo "$help" | words); do
        names "$manual" "$option" || fail "the manual page of $program lacks $option"
        grep -qE -- "(^|[ \"])$option( |\"|\)|$)" "$bash" || fail "the bash completion of $program lacks $option"
        grep -qE -- "'(\*|\([^)]*\))?$option\[" "$zsh" || fail "the zsh completion of $program lacks $option"
        grep -qE -- "^complete -c $program .*-l ${option#--}( |$)" "$fish" ||
            fail "the fish completion of $program lacks $option"
    done
    own=$({ strings -a -n 2 "$binary" && strings -a -n 2 -e l "$binary"; } | grep -E '^--[a-z]' | sort -u)
    for option in $({ echo "$manual" && cat "$bash" "$zsh" &&
        sed -nE "s/^complete -c $program .*-l ([a-z-]+).*/--\1/p" "$fish"; } | words); do
        echo "$own" | grep -qxF -- "$option" || fail "$program does not know $option, which its manual page or a completion names"
    done

    # Any file may be what the program is given.
    [ "$(offers "$scratch" "$bash" "$program" pho)" = "photo.jpg " ] ||
        fail "completing a file for $program offers: $(offers "$scratch" "$bash" "$program" pho)"
    [ "$(offers "$scratch" "$bash" "$program" --vers)" = "--version " ] ||
        fail "completing --vers for $program offers: $(offers "$scratch" "$bash" "$program" --vers)"
done

# voskan-render's values: the styles, presets and look fields its help lists are those its
# completions and manual page offer.
help=$("$prefix/bin/voskan-render" --help)
manual=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$prefix/share/man/man1/voskan-render.1.gz" 2>/dev/null)
completions="$prefix/share/bash-completion/completions/voskan-render
$prefix/share/zsh/vendor-completions/_voskan-render
$prefix/share/fish/vendor_completions.d/voskan-render.fish"
styles=$(echo "$help" | sed -nE '1s/.*--style ([a-z|]+).*/\1/p' | tr '|' ' ')
presets=$(echo "$help" | sed -nE 's/^ {21}([0-9]+)  .*/\1/p' | tr '\n' ' ' | sed 's/ $//')
fields=$(echo "$help" | sed -n '/Felder:/{n;p}' | tr -d ' ' | tr ',' ' ')
[ -n "$styles" ] && [ -n "$presets" ] && [ -n "$fields" ] ||
    fail "the help lists no styles, presets or fields: $help"
for list in "$styles" "$presets" "$fields"; do
    for file in $completions; do
        grep -qE -- "[\"'(]$list[\"')]|^set -l [a-z]+ $list$" "$file" || fail "$file does not offer: $list"
    done
done
for field in $fields; do
    names "$manual" "$field" || fail "the manual page of voskan-render lacks the field $field"
done
bash=$prefix/share/bash-completion/completions/voskan-render
for typed in "--set-d:--set-desktop " "--dark-style f:flow " "--set flowB:flowBands= " \
    "--dark-photo pho:photo.jpg "; do
    said=$(offers "$scratch" "$bash" voskan-render ${typed%%:*})
    [ "$said" = "${typed#*:}" ] || fail "completing voskan-render ${typed%%:*} offers: $said"
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
