#!/usr/bin/env bash
# Builds everything and runs every test: the Windows builds with MinGW-w64 and their
# checks and runs under Wine (i686: QVL7UNIN.EXE itself under 32-bit Wine where the
# machine can start it; x86_64: the same sources under wine64), each fuzz target for a
# bounded time, then the Linux build under sanitizers with its tests.
#
# Steps that leave a core idle run beside others: the runs under Wine (Wine's start, the
# dialogs' timer, one process at a time in each fault walk) beside the Linux build and
# tests, the fuzz targets beside the Linux tests. What runs beside shows its output when
# it ends. Last, a table says how long each step took.
set -euo pipefail
cd "$(dirname "$0")/.."
logs=$(mktemp -d)
besides=() # name:pid of the steps that run beside the others
table=()   # name|seconds|how
started=$EPOCHREALTIME
cleanup() {
  for b in "${besides[@]}"; do kill -- "-${b##*:}" 2>/dev/null || true; done
  rm -rf "$logs"
}
trap cleanup EXIT
# Gives each step beside the others a process group of its own, so that it can be
# stopped whole when the script stops early.
set -m

since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }'; }
step() { # name, command...: in the foreground
  local name=$1 at=$EPOCHREALTIME code=0
  shift
  echo "=== $name"
  "$@" || code=$?
  table+=("$name|$(since "$at")|")
  return "$code"
}
beside() { # name, command...: in the background, its output kept
  local name=$1
  shift
  (
    at=$EPOCHREALTIME code=0
    "$@" >"$logs/$name.log" 2>&1 || code=$?
    echo "$code $(since "$at")" >"$logs/$name.end"
    exit "$code"
  ) &
  besides+=("$name:$!")
  echo "=== $name: beside what follows"
}
finish() { # name: waits for a step beside the others, shows its output, fails with it
  local b pid= code seconds
  for b in "${besides[@]}"; do [ "${b%:*}" = "$1" ] && pid=${b##*:}; done
  wait "$pid" || true
  read -r code seconds <"$logs/$1.end"
  echo "=== $1 (ran beside the others)"
  cat "$logs/$1.log"
  table+=("$1|$seconds|beside")
  [ "$code" = 0 ] || { echo "=== $1 failed (exit code $code)"; return "$code"; }
}
show_table() {
  echo "=== time, step by step (seconds)"
  local row name seconds how
  for row in "${table[@]}"; do
    IFS='|' read -r name seconds how <<<"$row"
    printf '  %-44s %5s %s\n' "$name" "$seconds" "$how"
  done
  printf '  %-44s %5s\n' "the whole command" "$(since "$started")"
}

step "install what is missing" scripts/install-deps.sh all
step "format" scripts/check-format.sh
# The four configures side by side: each mostly waits on its compiler checks.
step "configure mingw, mingw64, fuzz, native" \
  bash -c 'for p in mingw mingw64 fuzz native; do cmake --preset "$p" >/dev/null & done
    for p in 1 2 3 4; do wait -n || exit; done'
step "build mingw" cmake --build --preset mingw
step "build mingw64" cmake --build --preset mingw64
# QVL7UNIN.EXE's checks and the runs under Wine: the platform layer and the program on
# real Win32, in win98 and win95 modes and one run in winme mode. A Wine that cannot run a
# program fails here.
beside "test mingw, mingw64 (Wine)" \
  sh -c 'ctest --preset mingw; a=$?; ctest --preset mingw64; b=$?; [ $a = 0 ] && [ $b = 0 ]'
step "build native" cmake --build --preset native
step "build fuzz" cmake --build --preset fuzz
beside "fuzz" scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
# The Linux tests also read the Windows program's resources: it must be there.
status=0
step "test native" env QVL_REQUIRE_EXE=1 ctest --preset native || status=$?
finish fuzz || status=1
finish "test mingw, mingw64 (Wine)" || status=1
show_table
exit "$status"
