#!/usr/bin/env bash
# Makes the Windows 9x prefix that each end-to-end run of one mode and bitness copies.
#
#   make-template.sh DIR MODE BITS [FROM]
#
# FROM, another mode's prefix of the same bitness, is copied and only set to MODE.
# Exits 77 (skipped) with the reason when Wine's loader for BITS cannot start here.
set -uo pipefail
dir=$1 mode=$2 bits=$3 from=${4:-}
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
if [ -n "$from" ]; then
  [ -f "$from/system.reg" ] || { echo "SKIPPED: no prefix at $from to copy"; exit 77; }
  source "$(dirname "$0")/footprint.sh"
  copy_prefix "$from" "$dir"
fi
timeout $((240 * ${QVL_WAIT_SCALE:-1})) "$(dirname "$0")/../../scripts/wine-prefix.sh" "$dir" "$mode" "$bits"
code=$?
case "$code" in
  0) echo "prefix ready: $dir" ;;
  # Only the 32-bit loader may be missing: 64-bit Wine runs on every machine of ours.
  3) [ "$bits" = 32 ] || exit 1
     echo "SKIPPED: no 32-bit Wine here (see above)"; rm -rf "$dir"; exit 77 ;;
  *) echo "making the prefix failed: exit code $code"; exit 1 ;;
esac
