#!/usr/bin/env bash
# Installs what is missing, builds Voskan and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target voskan voskan-render
exec build/src/voskan "$@"
