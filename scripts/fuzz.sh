#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time, starting
# from its checked-in seed corpus (copied, so the repository is left as it is).
#   scripts/fuzz.sh [SECONDS-PER-TARGET]      (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
work=$(mktemp -d)
# The engine target works in /dev/shm/qvl-fuzz-PID and removes it at exit; one that
# crashed leaves it, and it goes here once its process is gone.
orphans() {
  for d in /dev/shm/qvl-fuzz-*; do
    [ -d "$d" ] && ! kill -0 "${d##*-}" 2>/dev/null && rm -rf "$d"
  done
  return 0
}
trap 'rm -rf "$work"; orphans' EXIT
for target in inf_words regedit4 profile engine; do
  mkdir -p "$work/$target"
  cp fuzz/corpus/$target/* "$work/$target/"
  log="$work/$target.log"
  if ! build/fuzz/fuzz/fuzz_$target "$work/$target" -max_total_time="$seconds" \
        -artifact_prefix="$work/" -print_final_stats=1 >"$log" 2>&1; then
    tail -n 40 "$log"
    for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
      [ -f "$crash" ] && { echo "input, base64:"; base64 -w 0 "$crash"; echo; }
    done
    echo "fuzz_$target: FAILED"
    exit 1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$')
  echo "fuzz_$target: $runs executions in ${seconds}s, no crash"
done
