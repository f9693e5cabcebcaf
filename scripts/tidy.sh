#!/usr/bin/env bash
# Runs the checks of .clang-tidy over src/ with the compile commands of a configured build.
#   scripts/tidy.sh [build-folder]   (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "no $build/compile_commands.json: configure first (scripts/test.sh does)" >&2
  exit 1
fi
# The generated moc and resource files are Qt's, not ours; the render kernels are written in GCC's
# vector extensions and function multiversioning, which clang does not read.
run-clang-tidy-14 -quiet -p "$build" -j "$(nproc)" \
  '^(?!.*_autogen)(?!.*/render/(color)?kernels\.cpp$).*/src/.*\.cpp$'
