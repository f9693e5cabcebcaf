#!/usr/bin/env bash
# The same blur wallpaper (default light look, 6016×3384) made by ImageMagick — plainly and
# with its shrink-blur-enlarge trick — and by voskan-render, each as a whole process, in one
# run. Prints each time and its ratio to voskan-render.
#   bench/compare-peers.sh [PHOTO] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
photo=${1:-tests/data/photo-path-2560x1600.jpg}
runs=${2:-3}
scripts/deps.sh --bench
[ -x build/src/voskan-render ] || { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build --target voskan-render >/dev/null; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
read -r w h < <(identify -format '%w %h\n' "$photo")
short=$(( w < h ? w : h ))
# The default look: blur 55 %, saturation 1.15, neutral brightness and contrast.
sigma=$(awk -v m="$short" 'BEGIN { printf "%.1f", m * 0.55 * 0.22 }')
small=$(awk -v s="$sigma" 'BEGIN { printf "%.2f", s / 10 }')
size=6016x3384

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
timed() { # runs a command $runs times, prints the median wall time in seconds
  for _ in $(seq "$runs"); do
    s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
    awk -v s="$s" -v e="$e" 'BEGIN { printf "%.3f\n", e - s }'
  done | median
}

echo "Foto: $photo (${w}×${h}), Ausgabe $size, sigma $sigma px, $runs Läufe, Median"
t_voskan=$(timed build/src/voskan-render --size "$size" "$photo" "$out/voskan.png")
t_trick=$(timed convert "$photo" -colorspace RGB -resize 10% -blur "0x$small" -resize "${size}^" \
  -gravity center -extent "$size" -colorspace sRGB -modulate 100,115 -depth 16 "$out/trick.png")
t_plain=$(timed convert "$photo" -colorspace RGB -blur "0x$sigma" -resize "${size}^" \
  -gravity center -extent "$size" -colorspace sRGB -modulate 100,115 -depth 16 "$out/plain.png")

printf '%-40s %8s %8s %6s\n' "Werkzeug" "Sekunden" "× voskan" "MB"
for row in "voskan-render:$t_voskan:voskan" "ImageMagick, verkleinern-blur-vergrößern:$t_trick:trick" "ImageMagick -blur:$t_plain:plain"; do
  IFS=: read -r name t file <<<"$row"
  printf '%-40s %8s %8s %6s\n' "$name" "$t" "$(awk -v a="$t" -v b="$t_voskan" 'BEGIN { printf "%.1f", a / b }')" \
    "$(( $(stat -c %s "$out/$file.png") / 1000000 ))"
done
