#!/usr/bin/env bash
# scripts/release.sh ships QVL7UNIN.EXE only on the record of its own runs, by Wine's
# version: this script stands in for Wine and for scripts/wine32.sh's runs, with the
# verdict given to it, and checks what the release says and ships. Arguments: SOURCE EXE WORK.
set -u
[ "${1:-}" != --version ] || { echo "wine-stand-in-$QVL_STAND_IN_WINE"; exit 0; }
if [ -n "${QVL_STAND_IN:-}" ]; then # as the runs would: EXE DRIVER PROBE RUN...
  shift 3
  case "$QVL_STAND_IN" in
    pass) printf 'passed: %s\n' "$@" ;;
    fail) echo "passed: ok-no"; echo "FAILED: ok-yes"; echo "driver: FAIL: no message box: the program ended first"; exit 1 ;;
    machine) echo "NOT RUN: the emulated machine did not start"; exit 3 ;;
  esac
  exit 0
fi
source=$1 exe=$2 work=$3 failures=0
rm -rf "$work"
QVL_WINE32_RUN=$(realpath "$0")
export QVL_CACHE=$work/cache QVL_WINE32_WHERE=native QVL_WINE32=$QVL_WINE32_RUN QVL_WINE32_RUN
release() { # Wine's version, verdict, exit code and words expected
  local out code=0
  out=$(QVL_STAND_IN_WINE=$1 QVL_STAND_IN=$2 "$source/scripts/release.sh" --exe "$exe" "$work/dist" 2>&1) || code=$?
  [ "$code" = "$3" ] && grep -qF "$4" <<<"$out" && { [ "$3" = 0 ] || [ ! -e "$work/dist/QVL7UNIN.EXE" ]; } &&
    { echo "ok: Wine $1, runs that $2: $4"; return; }
  echo "FAILED: Wine $1, runs that $2: exit code $code, not $3 with \"$4\"; it said:"
  tail -n 4 <<<"$out"
  failures=$((failures + 1))
}
release 1 fail 1 "fails the 32-bit run ok-yes (driver: FAIL: no message box: the program ended first)"
release 1 machine 1 "was not run under 32-bit Wine, so it is not released: the emulated machine did not start"
release 1 pass 0 "passed the 32-bit run ok-yes"
# Now the record of both runs vouches for these bytes, under that Wine alone.
release 1 fail 0 "has passed ok-no ok-yes (Windows 98 mode) under wine-stand-in-1"
release 2 fail 1 "fails the 32-bit run ok-yes"
[ "$failures" = 0 ] && rm -rf "$work"
