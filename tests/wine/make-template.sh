#!/usr/bin/env bash
# Makes the Windows 9x prefix that each end-to-end run of one mode and bitness copies.
#
#   make-template.sh DIR MODE BITS [FROM]
#
# FROM, another mode's prefix of the same bitness, is copied and only set to MODE.
# Exits 77 (skipped), saying why, where Wine's 32-bit loader cannot start or so its prefix to
# copy is missing; 64-bit Wine runs on every machine of ours, so for 64 bits either fails.
set -uo pipefail
dir=$1 mode=$2 bits=$3 from=${4:-}
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
if [ -n "$from" ]; then
  [ -f "$from/system.reg" ] || [ "$bits" = 32 ] || { echo "no prefix at $from to copy"; exit 1; }
  [ -f "$from/system.reg" ] || { echo "SKIPPED: no prefix at $from to copy"; exit 77; }
  source "$(dirname "$0")/footprint.sh"
  copy_prefix "$from" "$dir"
fi
timeout $((240 * ${QVL_WAIT_SCALE:-1})) "$(dirname "$0")/../../scripts/wine-prefix.sh" "$dir" "$mode" "$bits"
code=$?
case "$code" in
  0) echo "prefix ready: $dir" ;;
  3) [ "$bits" = 32 ] || { echo "64-bit Wine cannot start (see above)"; exit 1; }
     echo "SKIPPED: no 32-bit Wine here (see above)"; rm -rf "$dir"; exit 77 ;;
  *) echo "making the prefix failed: exit code $code"; exit 1 ;;
esac
