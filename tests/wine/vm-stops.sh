#!/usr/bin/env bash
# Stopping scripts/vm.sh stops its machine and all under it within 15 s: a kill of its
# process group, and a kill -9 of vm.sh alone. A stand-in for QEMU (this script) waits;
# no machine is built. Arguments: SOURCE WORK.
set -u
[ "${1:-}" != qemu ] || { echo "$$" >>"$QVL_STAND_IN_PIDS" && exec sleep 600; }
source=$1 work=$2 failures=0
rm -rf "$work" && mkdir -p "$work/cache/vm"
export TMPDIR=$work QVL_CACHE=$work/cache QVL_VM_QEMU="$(realpath "$0") qemu" QVL_STAND_IN_PIDS=$work/pids
"$source/scripts/vm.sh" key >"$work/cache/vm/key"
for how in "the process group" "vm.sh alone, with kill -9"; do
  : >"$work/pids"
  setsid "$source/scripts/vm.sh" run -- true >"$work/out" 2>&1 &
  disown
  vm=$!
  for _ in {1..600}; do [ -s "$work/pids" ] && break; sleep 0.1; done
  pids=$(echo "$vm" "$(cat "$work/pids")" "$(pgrep -P "$vm")" | xargs)
  case "$how" in "the process group") kill -- "-$vm" ;; *) kill -9 "$vm" ;; esac
  for _ in {1..150}; do
    left=$(ps -o pid=,stat= -p "${pids// /,}" | awk '$2 !~ /^Z/ { print $1 }' | xargs)
    [ -n "$left" ] || break
    sleep 0.1
  done
  if [ -n "${left:-}" ]; then
    echo "FAILED: a kill of $how leaves $left (of $pids) running after 15 s"
    kill -9 $left
    failures=$((failures + 1))
  else
    echo "ok: a kill of $how stops vm.sh, its machine and all under it ($pids)"
  fi
done
[ "$failures" = 0 ] && rm -rf "$work"
