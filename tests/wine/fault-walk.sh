#!/usr/bin/env bash
# The Win32 fault walk in one Windows 9x mode under wine64: seeds a copy of the mode's
# prefix with the driver's footprint, then runs the walk program in it once.
#
#   fault-walk.sh MODE TEMPLATE WORK EXE [--every K]
#
# TEMPLATE is a prefix made by scripts/wine-prefix.sh for MODE and 64 bits; WORK a folder
# of this run's own; EXE the x86_64 win32_fault_walk.exe. Exits with the walk's code.
# wininit.ini lies on D:, a small file system (tmpfs) for the walk to fill up, mounted in
# the run's own mount namespace (in a user namespace, -r, but as root), gone with the run.
set -uo pipefail
[ -n "${QVL_OWN_MOUNTS:-}" ] || QVL_OWN_MOUNTS=1 exec unshare -m$([ "$(id -u)" = 0 ] || echo r) bash "$0" "$@"
mode=$1 template=$2 work=$3 exe=$4
shift 4
wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
w() { timeout 60 "$wine" "$@"; }
source "$(dirname "$0")/footprint.sh"
cleanup() { timeout 20 "$server" -k 2>/dev/null || true; }
trap cleanup EXIT
enter_prefix "$template" "$work" win64 || exit 1
seed_footprint >/dev/null
mkdir small && mount -t tmpfs -o size=64k qvl-small small || exit 1
ln -sfn "$PWD/small" "$WINEPREFIX/dosdevices/d:" && ln -s "$PWD/small/wininit.ini" "$windows/" || exit 1
# A wininit.ini that ends in its [rename] section: no run may add a second header.
printf '[rename]\r\nNUL=C:\\windows\\OLD.DLL\r\n' >small/wininit.ini
# The whole walk of a mode takes minutes; a run that never ends is caught by the
# program's own watchdog, and this bounds the rest.
echo "fault walk, $mode: $*"
timeout 3000 "$wine" "$exe" --full-disk 'D:\' "$@"
