#!/usr/bin/env bash
# Installs what is missing, builds Voskan and runs every test.
#   scripts/test.sh             release build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-sanitize/
# VOSKAN_WERROR=ON fails the build of src/ on any warning, as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

build=build
flags=(-DCMAKE_BUILD_TYPE=Release -DVOSKAN_SANITIZE=OFF)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-sanitize
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOSKAN_SANITIZE=ON -DVOSKAN_BUILD_BENCH=OFF)
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}" -DVOSKAN_WERROR="${VOSKAN_WERROR:-OFF}"
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure
