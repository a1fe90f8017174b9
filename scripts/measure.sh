#!/usr/bin/env bash
# Measures, under Wine on the driver's whole footprint: the removal's own time (RunRemoval
# alone, no dialogs, no progress ticks), the whole run's time (QVL7UNIN.EXE from start to
# exit, answered OK and No at once from outside), and the size of QVL7UNIN.EXE.
#
#   scripts/measure.sh [RUNS]      RUNS fresh prefixes each (default 3)
#
# The removal is timed by tools/win32/time_removal.cpp with QueryPerformanceCounter on
# the x86_64 build; the whole run by the wall clock, Wine's own start included, with the
# x86_64 build under wine64 and QVL7UNIN.EXE itself under 32-bit Wine where it starts.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-3}
cmake --preset mingw >/dev/null && cmake --build --preset mingw --target all time_removal >/dev/null
cmake --preset mingw64 >/dev/null && cmake --build --preset mingw64 --target all time_removal >/dev/null
work=$(mktemp -d)
# The wineserver of the prefix in use: seeding leaves it running, persistent, with Wine's
# service processes. It is stopped, and waited for, before the next prefix and at the
# end, so that none outlives the script (nor keeps a pipe of its caller open). A server
# that is already gone, or a loader that cannot start here, is no failure.
running=
stop_server() {
  if [ -n "$running" ]; then
    timeout 20 "$running" -k 2>/dev/null || true
    timeout 20 "$running" -w 2>/dev/null || true
    running=
  fi
}
trap 'stop_server; rm -rf "$work"' EXIT
export WINEDEBUG=-all

w() { timeout 60 "$wine" "$@"; }
# shellcheck source=../tests/wine/footprint.sh
source "$root/tests/wine/footprint.sh"
# A fresh seeded prefix in $WINEPREFIX, copied from the template for $bits. Wine's
# processes keep the output they start with: the seeding's, the server's among them, go
# to a file.
fresh() {
  stop_server
  enter_prefix "$work/template-$bits" "$work/run" "$arch"
  running=$server
  seed_footprint >"$work/seed.log" 2>&1
}
ms() { echo $((($2 - $1) / 1000000)); }

echo "QVL7UNIN.EXE (i686): $(stat -c %s build/mingw/QVL7UNIN.EXE) bytes"
echo "QVL7UNIN.EXE (x86_64 test build): $(stat -c %s build/mingw64/QVL7UNIN.EXE) bytes"
for bits in 64 32; do
  if [ "$bits" = 64 ]; then
    wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 build=build/mingw64 arch=win64
  else
    # QVL_WINE32 stands in for the 32-bit loader, as in scripts/wine-prefix.sh.
    wine=${QVL_WINE32:-/usr/lib/wine/wine} server=/usr/lib/wine/wineserver32 build=build/mingw arch=win32
  fi
  if ! scripts/wine-prefix.sh "$work/template-$bits" win98 "$bits"; then
    echo "$bits-bit Wine cannot start here: no figures for it"
    continue
  fi
  if [ "$bits" = 64 ]; then
    for _ in $(seq "$runs"); do
      fresh
      took=$(w "$root/$build/time_removal.exe" | tr -d '\r' | sed 's/^removal: //')
      # A time is only worth reporting for a removal that took place.
      [ ! -e "$system/QVL732.DLL" ] && [ -e "$windows/wininit.ini" ] || { echo "the removal did not run"; exit 1; }
      echo "RunRemoval alone, wine64, win98, full footprint: $took"
    done
  fi
  for _ in $(seq "$runs"); do
    fresh
    timeout 60 "$wine" "$root/$build/tests/wine/drive_dialogs.exe" ok no >/dev/null 2>&1 &
    start=$(date +%s%N)
    code=0
    timeout 90 "$wine" "$root/$build/QVL7UNIN.EXE" || code=$?
    end=$(date +%s%N)
    wait
    [ "$code" = 2 ] && [ ! -e "$system/QVL732.DLL" ] || { echo "the run failed (exit code $code)"; exit 1; }
    echo "whole run, $bits-bit Wine, win98, full footprint, OK then No: $(ms "$start" "$end") ms"
  done
  cd "$root"
done
