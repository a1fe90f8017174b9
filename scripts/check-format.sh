#!/usr/bin/env bash
# Fails when a source file differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
# One clang-format for all the files: one a file spent most of the time starting.
if ! out=$(clang-format --style=file --dry-run --Werror "${files[@]}" 2>&1); then
  grep -o '^[^:]*:[0-9]*:[0-9]*: error' <<<"$out" | cut -d: -f1 | sort -u |
    sed 's/.*/not formatted: & (run clang-format -i &)/'
  grep -q ': error' <<<"$out" || printf '%s\n' "$out"
  exit 1
fi
