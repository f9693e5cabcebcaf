#!/usr/bin/env bash
# Formats the C++ sources with the one clang-format the project pins (Debian 12's, version 14).
#   scripts/format.sh          rewrites the files in place
#   scripts/format.sh --check  changes nothing; lists the files that differ and fails if any do
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=clang-format-14
if ! command -v "$formatter" >/dev/null; then
  echo "$formatter is missing: scripts/deps.sh installs it" >&2
  exit 1
fi
folders=(src tests bench fuzz tools)
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
    "${folders[@]/%//*.cpp}" "${folders[@]/%//*.h}")
else # a copy without its history
  mapfile -t files < <(find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
fi
if [ "${1:-}" = "--check" ]; then
  differ=()
  for f in "${files[@]}"; do
    if ! "$formatter" --style=file "$f" | cmp -s - "$f"; then
      differ+=("$f")
    fi
  done
  if [ ${#differ[@]} -gt 0 ]; then
    printf 'not formatted (scripts/format.sh):\n' >&2
    printf '  %s\n' "${differ[@]}" >&2
    exit 1
  fi
  echo "all ${#files[@]} files formatted"
else
  "$formatter" --style=file -i "${files[@]}"
fi
