#!/usr/bin/env bash
# The whole fault walk on real Win32 under wine64, in the Windows 98 and Windows 95
# modes; prints its figures (calls, faults, runs, time) for each mode.
#
#   scripts/win32-fault-walk.sh [--every K]
#
# Builds win32_fault_walk in the mingw64 preset, makes a prefix per mode (about half a
# minute each) in build/win32-fault-walk, and runs every faulted removal of a mode in
# one Windows process, then one with wininit.ini on a drive that fills up part way through
# a line. --every K fails only calls 1, 1+K, ... as the CTest sample does.
# Takes about ten minutes per mode on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$PWD/build/win32-fault-walk
echo "building win32_fault_walk (mingw64)..."
[ -f build/mingw64/CMakeCache.txt ] || cmake --preset mingw64 >/dev/null
cmake --build build/mingw64 --target win32_fault_walk -j2 >/dev/null
status=0
for mode in win98 win95; do
  start=$(date +%s)
  bash tests/wine/make-template.sh "$work/template-$mode" "$mode" 64 >/dev/null
  out=$(bash tests/wine/fault-walk.sh "$mode" "$work/template-$mode" "$work/run-$mode" \
    "$PWD/build/mingw64/tests/win32_fault_walk/win32_fault_walk.exe" "$@") || status=1
  printf '%s\n' "$out"
  echo "$mode: $(($(date +%s) - start)) s in all, the prefix included"
  echo
  rm -rf "$work/run-$mode"
done
rm -rf "$work"
exit $status
