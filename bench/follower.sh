#!/usr/bin/env bash
# The scheme follower (voskan-render --follow) as it runs in a session: the real desktop portal
# with its GTK backend on a private bus beside a headless X server, the colour scheme flipped
# through GSettings, sway's swaymsg replaced by a script that notes the time it was called.
# Prints the time from the flip to that call (whole chain, and from the portal's signal), the
# follower's CPU time over an idle minute and its resident memory.
#   bench/follower.sh [BUILD_DIR] [FLIPS] [IDLE_SECONDS]
# With MODE=day it holds a day of 16 pictures (2560 × 1600) that changes every 90 minutes
# instead, on a clock that starts 5 s before a change (libfaketime), and prints how late the
# picture changed besides CPU and memory.
set -euo pipefail
build=$(realpath "${1:-build}")
flips=${2:-21}
idle=${3:-60}
mode=${MODE:-pair}
render="$build/src/voskan-render"
[ -x "$render" ] || { echo "$render fehlt: erst bauen" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
export GSETTINGS_BACKEND=keyfile PATH="$work/bin:$PATH"
mkdir -p "$work/bin" "$XDG_DATA_HOME/Voskan"
printf '#!/bin/sh\nenv -u LD_PRELOAD date +%%s.%%N >> "%s/calls"\n' "$work" > "$work/bin/swaymsg"
chmod +x "$work/bin/swaymsg"
data="$XDG_DATA_HOME/Voskan"
if [ "$mode" = day ]; then
  mkdir -p "$data/day-a"
  entries=""
  for i in $(seq 0 15); do
    cp "$(dirname "$0")/../tests/data/photo-path-2560x1600.jpg" "$data/day-a/$i-light.jpg"
    entries="$entries${entries:+,}[$i,$(awk "BEGIN {print $i / 16}")]"
  done
  printf '{"kind":"h24","images":16,"entries":[%s]}' "$entries" > "$data/day-a.day"
  printf '%s' "$data/day-a.day" > "$data/desktop-shown"
else
  touch "$data/wallpaper-a-light.jpg" "$data/wallpaper-a-dark.jpg"
  printf '%s' "$data/wallpaper-a.heic" > "$data/desktop-shown"
fi

Xvfb -displayfd 5 -nolisten tcp 5>"$work/display" 2>/dev/null & pids+=($!)
until [ -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
cat > "$work/bus.conf" <<'CONF'
<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><policy context='default'><allow send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/><allow own='*'/></policy></busconfig>
CONF
dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=6 6>"$work/address" & pids+=($!)
until [ -s "$work/address" ]; do sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/address")
gsettings set org.gnome.desktop.interface color-scheme default
owned() { gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
            -m org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true; }
/usr/libexec/xdg-desktop-portal-gtk 2>/dev/null & pids+=($!)
until owned org.freedesktop.impl.portal.desktop.gtk; do sleep 0.1; done
XDG_CURRENT_DESKTOP=GNOME /usr/libexec/xdg-desktop-portal 2>/dev/null & pids+=($!)
until owned org.freedesktop.portal.Desktop; do sleep 0.1; done

dbus-monitor --profile "type='signal',member='SettingChanged',arg0='org.freedesktop.appearance'" \
  > "$work/signals" 2>/dev/null & pids+=($!)
now() { date +%s.%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
ticks() { awk '{print $14+$15}' "/proc/$follower/stat"; }
idleFigures() {
  local t0 t1 hz rss
  t0=$(ticks); sleep "$idle"; t1=$(ticks)
  hz=$(getconf CLK_TCK)
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$follower/status")
  echo "CPU while idle: $(( (t1 - t0) * 1000 / hz )) ms in $idle s"
  echo "resident memory: $(( rss / 1024 )) MiB ($rss kB)"
}

if [ "$mode" = day ]; then
  # 05:59:55 is picture 3 (from 04:30); picture 4 is due at 06:00, 5 s on.
  echo "@2026-06-21 05:59:55" > "$work/clock"
  started=$(now)
  LD_PRELOAD=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1 FAKETIME_NO_CACHE=1 \
    FAKETIME_TIMESTAMP_FILE="$work/clock" DONT_FAKE_MONOTONIC=1 TZ=UTC XDG_CURRENT_DESKTOP=sway \
    "$render" --follow & follower=$!; pids+=($follower)
  until [ "$(wc -l 2>/dev/null < "$work/calls" || echo 0)" -ge 2 ]; do sleep 0.05; done
  changed=$(sed -n 2p "$work/calls")
  echo "day of 16 pictures, idle: $idle s"
  echo "picture due 5 s after start -> swaymsg: $(awk "BEGIN {printf \"%.0f\", ($changed - $started - 5) * 1000}") ms late"
  idleFigures
  exit 0
fi

XDG_CURRENT_DESKTOP=sway "$render" --follow & follower=$!; pids+=($follower)
until [ -s "$work/calls" ]; do sleep 0.1; done

schemes=(prefer-dark default)
: > "$work/latency"
for i in $(seq 1 "$flips"); do
  before=$(wc -l < "$work/calls")
  start=$(now)
  gsettings set org.gnome.desktop.interface color-scheme "${schemes[$(((i + 1) % 2))]}"
  until [ "$(wc -l < "$work/calls")" -gt "$before" ]; do sleep 0.005; done
  called=$(tail -1 "$work/calls")
  sleep 0.2 # the signal's line is written by now
  signal=$(grep '^sig' "$work/signals" | tail -1 | awk '{print $2}')
  echo "$start $signal $called" >> "$work/latency"
done
whole=$(awk '{printf "%.1f\n", ($3-$1)*1000}' "$work/latency" | median)
fromsignal=$(awk '{printf "%.1f\n", ($3-$2)*1000}' "$work/latency" | median)

echo "flips: $flips, idle: $idle s"
echo "scheme flip -> swaymsg, whole chain (median): $whole ms"
echo "portal signal -> swaymsg (median): $fromsignal ms"
idleFigures
