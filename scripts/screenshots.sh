#!/usr/bin/env bash
# Saves screenshots of the window's main states into docs/screenshots/, taken on a real
# (virtual) X server: scripts/screenshots.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
command -v xvfb-run >/dev/null || { sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo; $sudo apt-get install -y -q xvfb xauth; }
cmake --build "$build" --target voskan-screenshots
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$build/tools/voskan-screenshots" docs/screenshots
