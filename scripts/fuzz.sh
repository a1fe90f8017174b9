#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time, starting
# from its checked-in seed corpus (copied, so the repository is left as it is), two at a
# time by default: each is one process, and a machine has two cores at the least.
#   scripts/fuzz.sh [SECONDS-PER-TARGET]      (default 20; FUZZ_JOBS targets at a time)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
jobs=${FUZZ_JOBS:-2}
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
# One target, its findings kept in a folder of its own.
run() {
  mkdir -p "$work/$1/corpus" "$work/$1/found"
  cp fuzz/corpus/$1/* "$work/$1/corpus/"
  build/fuzz/fuzz/fuzz_$1 "$work/$1/corpus" -max_total_time="$seconds" \
    -artifact_prefix="$work/$1/found/" -print_final_stats=1 >"$work/$1/log" 2>&1
}
targets=(inf_words regedit4 profile engine)
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run "$target" &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  if wait "${pids[$i]}"; then
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$work/$target/log" | grep -o '[0-9]*$')
    echo "fuzz_$target: $runs executions in ${seconds}s, no crash"
  else
    tail -n 40 "$work/$target/log"
    for crash in "$work/$target"/found/*; do
      [ -f "$crash" ] && { echo "input, base64:"; base64 -w 0 "$crash"; echo; }
    done
    echo "fuzz_$target: FAILED"
    failed=1
  fi
done
exit "$failed"
