#!/usr/bin/env bash
# Builds everything and runs every test: the Windows builds with MinGW-w64 and their
# checks and runs under Wine (i686: QVL7UNIN.EXE itself under 32-bit Wine, natively where
# the machine starts it, else in an emulated machine, scripts/wine32.sh; x86_64: the same
# sources under wine64), each fuzz target for a bounded time, then the Linux build under
# sanitizers with its tests.
#
# Steps that leave a core idle run beside others: the runs under Wine (Wine's start, the
# dialogs' timer, one process at a time in each fault walk) beside the Linux build and
# tests, the fuzz targets beside the Linux tests. What runs beside shows its output when
# it ends. Last, a table says how long each step took. A step that fails in the
# foreground stops those beside it and shows the end of what they said, and the table.
set -euo pipefail
cd "$(dirname "$0")/.."
logs=$(mktemp -d)
besides=() # name:pid of the steps that run beside the others
finished=() # their names, blanks as _, once shown
table=()   # name|seconds|how
started=$EPOCHREALTIME
foreground= # the process group of the step in the foreground
# Stops every step's whole process group (QEMU's included): asked to end, then killed
# where it has not within 5 s, so that all is stopped within 15 s.
alive() { # process groups...: whether a process of them still runs (a zombie does not)
  ps -eo pgid=,stat= | awk -v groups=" $* " 'index(groups, " " $1 " ") && $2 !~ /^Z/ { found = 1 }
    END { exit !found }'
}
cleanup() {
  local groups=() b _
  [ -z "$foreground" ] || groups+=("$foreground")
  for b in "${besides[@]}"; do groups+=("${b##*:}"); done
  for b in "${groups[@]}"; do kill -- "-$b" 2>/dev/null || true; done
  for _ in {1..10}; do alive "${groups[@]}" || break; sleep 0.5; done
  for b in "${groups[@]}"; do kill -9 -- "-$b" 2>/dev/null || true; done
  rm -rf "$logs"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
# Gives each step a process group of its own, so that it can be stopped whole when the
# script stops early (Ctrl-C, or a kill of this script's own group, reaches this script
# alone).
set -m

since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }'; }
step() { # name, command...: in the foreground
  local name=$1 at=$EPOCHREALTIME code=0
  shift
  echo "=== $name"
  "$@" &
  foreground=$!
  wait "$foreground" || code=$?
  foreground=
  table+=("$name|$(since "$at")|")
  return "$code"
}
must() { step "$@" || stop "$1" $?; } # the same, and a failure stops the command
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
  finished+=("${1// /_}")
  echo "=== $1 (ran beside the others)"
  cat "$logs/$1.log"
  table+=("$1|$seconds|beside")
  [ "$code" = 0 ] || { echo "=== $1 failed (exit code $code)"; return "$code"; }
}
# After a failure in the foreground: the steps beside it are stopped, and what they had
# said so far is shown, so that the failure's evidence is not lost with the logs.
stop() { # name, exit code
  local b name code seconds
  echo "=== $1 failed (exit code $2); stopping what runs beside it"
  for b in "${besides[@]}"; do
    name=${b%:*}
    [[ " ${finished[*]} " == *" ${name// /_} "* ]] && continue
    if [ -e "$logs/$name.end" ]; then
      read -r code seconds <"$logs/$name.end"
      echo "=== $name (ended with exit code $code; the last 30 lines it wrote)"
      table+=("$name|$seconds|beside")
    else
      kill -- "-${b##*:}" 2>/dev/null || true
      wait "${b##*:}" 2>/dev/null || true
      echo "=== $name (stopped; the last 30 lines it wrote)"
      table+=("$name|-|stopped")
    fi
    tail -n 30 "$logs/$name.log"
  done
  show_table
  exit "$2"
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

must "install what is missing" scripts/install-deps.sh all
must "format" scripts/check-format.sh
# The four configures side by side: each mostly waits on its compiler checks. One that
# fails stops the others and shows what it said.
configure() {
  local p pids=() code=0
  for p in mingw mingw64 fuzz native; do
    cmake --preset "$p" >"$logs/configure-$p.log" 2>&1 &
    pids+=($!)
  done
  for p in 1 2 3 4; do wait -n || { code=$?; break; }; done
  [ "$code" = 0 ] && return
  for p in "${pids[@]}"; do kill -- "-$p" 2>/dev/null || true; done # each its own group
  wait 2>/dev/null || true
  for p in mingw mingw64 fuzz native; do
    grep -qi 'error' "$logs/configure-$p.log" && { echo "--- cmake --preset $p"; tail -n 20 "$logs/configure-$p.log"; }
  done
  return "$code"
}
must "configure mingw, mingw64, fuzz, native" configure
must "build mingw" cmake --build --preset mingw
# QVL7UNIN.EXE itself under 32-bit Wine, the longest of the steps where it runs in an
# emulated machine, so it starts first; then the release media from the exe that ran.
# "none" exits 1, which must not end this command: the step itself says why, and fails
# under CI.
# Where the runs can take place nowhere, release.sh, which ships only bytes that ran,
# cannot release: its test is then skipped, saying so (wine32.sh fails under CI).
where=$(scripts/wine32.sh where | cut -d: -f1) || true
beside "32-bit Wine ($where)" \
  sh -c 'scripts/wine32.sh test build/mingw || exit
    if [ "$1" = none ]; then echo "release_reproducible: skipped, the exe can run nowhere here"
    else ctest --preset mingw -R "^release_reproducible$"; fi' run "$where"
must "build mingw64" cmake --build --preset mingw64
# QVL7UNIN.EXE's checks and the runs under Wine: the platform layer and the program on
# real Win32, in win98 and win95 modes and one run in winme mode. A Wine that cannot run a
# program fails here.
beside "test mingw, mingw64 (Wine)" \
  sh -c 'ctest --preset mingw -E "^(wine32_|release_reproducible$)"; a=$?
    ctest --preset mingw64; b=$?; [ $a = 0 ] && [ $b = 0 ]'
must "build native" cmake --build --preset native
must "build fuzz" cmake --build --preset fuzz
beside "fuzz" scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
# The Linux tests also read the Windows program's resources: it must be there.
status=0
step "test native" env QVL_REQUIRE_EXE=1 ctest --preset native || status=$?
finish fuzz || status=1
finish "test mingw, mingw64 (Wine)" || status=1
finish "32-bit Wine ($where)" || status=1
show_table
exit "$status"
