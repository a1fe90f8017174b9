#!/usr/bin/env bash
# Runs QVL7UNIN.EXE itself under 32-bit Wine: on this machine where it can start 32-bit
# Wine, else in the emulated machine of scripts/vm.sh.
#
#   scripts/wine32.sh where        says where the runs take place, and why; exits 1 when
#                                  nowhere
#   scripts/wine32.sh test BUILD   the 32-bit runs of the mingw build folder BUILD (the
#                                  CTest tests wine32_*): every one natively; in the
#                                  emulated machine, where each costs most of a minute,
#                                  the set named below
#   scripts/wine32.sh check EXE    passes when EXE, by its SHA-256, has passed the runs
#                                  OK then No and OK then Yes (Windows 98 mode); runs
#                                  them when no record says so
#
# A run that passes is recorded by the exe's SHA-256 under the cache
# (${QVL_CACHE:-~/.cache/qvl7unin}/passed), so that scripts/release.sh ships only bytes
# that ran. QVL_WINE32_WHERE=native, emulated or none overrides the choice (to try the
# emulated machine where 32-bit Wine also runs natively, say). Under CI, nowhere fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache_top=${QVL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qvl7unin}
ledger=$cache_top/passed
# The runs that the emulated machine makes: both builds' path of an ordinary run, a
# restart, a restart over an existing wininit.ini, and a cancel.
emulated_runs='^wine32_(win98_(ok-no|ok-yes|ok-yes-other-last|cancel)|win95_ok-no)$'

# Sets where= (native, emulated or none) and why=.
decide() {
  local wine=${QVL_WINE32:-/usr/lib/wine/wine} out
  if [ -x "$wine" ] && out=$("$wine" --version 2>&1); then
    where=native why="$wine starts here ($out)"
  elif [ -x "$wine" ]; then
    where=emulated why="$wine cannot start here: $(printf '%s' "$out" | tail -n1)"
  else
    where=emulated why="no 32-bit Wine here ($wine)"
  fi
  if [ "$where" = emulated ] && ! command -v qemu-system-x86_64 >/dev/null; then
    where=none why="$why, and no QEMU (package qemu-system-x86) for an emulated machine"
  fi
  case "${QVL_WINE32_WHERE:-}" in
    '') ;;
    native | emulated | none) where=$QVL_WINE32_WHERE why="QVL_WINE32_WHERE=$QVL_WINE32_WHERE" ;;
    *) echo "wine32: QVL_WINE32_WHERE must be native, emulated or none" >&2; exit 2 ;;
  esac
}

# In the emulated machine, with the time the runs get there: scripts/vm.sh's own waits,
# and QVL_WAIT_SCALE times every wait of the runs.
in_vm() { # what, limit, command...
  local what=$1 limit=$2
  shift 2
  env -u QVL_WINE32 QVL_WAIT_SCALE="${QVL_WAIT_SCALE:-5}" \
    "$root/scripts/vm.sh" run --timeout "$limit" --what "$what" -- "$@"
}

record() { # exe, run names...
  local sum
  sum=$(sha256sum "$1" | cut -d' ' -f1)
  shift
  mkdir -p "$ledger"
  printf '%s\n' "$@" | sed "s/\$/ ($where)/" >>"$ledger/$sum"
}

test_build() {
  local build=$1 log code=0
  build=$(cd "$build" && pwd)
  log=$(mktemp)
  # shellcheck disable=SC2064
  trap "rm -f '$log'" RETURN
  case "$where" in
    native) ctest --test-dir "$build" -R '^wine32_' --output-on-failure -j2 2>&1 | tee "$log" || code=$? ;;
    emulated)
      in_vm "the 32-bit runs" "${QVL_VM_LIMIT:-2400}" \
        ctest --test-dir "$build" -R "$emulated_runs" --output-on-failure -j2 2>&1 |
        tee "$log" || code=$?
      ;;
  esac
  # Each run that passed in Windows 98's mode, for the release's check.
  local passed
  passed=$(sed -n 's/.*Test *#[0-9]*: wine32_win98_\(ok-no\|ok-yes\) \.*  *Passed.*/\1/p' "$log")
  # shellcheck disable=SC2086 # one name a word
  [ -z "$passed" ] || record "$build/QVL7UNIN.EXE" $passed
  return "$code"
}

# The two runs on EXE itself, in a folder of their own.
check_exe() {
  local exe=$1 sum runs='ok-no ok-yes' missing='' r
  sum=$(sha256sum "$exe" | cut -d' ' -f1)
  for r in $runs; do
    grep -q "^$r " "$ledger/$sum" 2>/dev/null || missing+=" $r"
  done
  if [ -z "$missing" ]; then
    echo "wine32: $(basename "$exe") ($sum) has passed$(printf ' %s' $runs): $(sort -u "$ledger/$sum" | tr '\n' ';' | sed 's/;$//')"
    return 0
  fi
  [ "$where" != none ] || { echo "wine32: cannot run $(basename "$exe"): $why" >&2; return 1; }
  local build=$root/build/mingw
  cmake --build --preset mingw --target drive_dialogs reg_probe >/dev/null ||
    { echo "wine32: cannot build the dialog driver and key probe" >&2; return 1; }
  local work
  work=$(mktemp -d)
  # shellcheck disable=SC2064
  trap "rm -rf '$work'" RETURN
  # The folder is made where the runs take place: the emulated machine's /tmp is its own.
  local script='set -u
    w=$(mktemp -d) exe=$1 drive=$2 probe=$3
    shift 3
    tests/wine/make-template.sh "$w/template" win98 32 >"$w/template.log" 2>&1 ||
      { echo "FAILED: the Windows 98 prefix"; tail -n 5 "$w/template.log"; exit 1; }
    for r in "$@"; do
      if tests/wine/e2e.sh 32 win98 "$r" "$w/template" "$w/run-$r" "$exe" "$drive" "$probe" >"$w/$r.log" 2>&1; then
        echo "passed: $r"
      else
        echo "FAILED: $r"; grep -E "FAILED|failures|driver: FAIL" "$w/$r.log" | head -n 8; exit 1
      fi
    done'
  local args=(bash -c "$script" run "$exe" "$build/tests/wine/drive_dialogs.exe"
    "$build/tests/wine/reg_probe.exe"$missing)
  local code=0
  case "$where" in
    native) (cd "$root" && "${args[@]}") | tee "$work/out" || code=$? ;;
    emulated) (cd "$root" && in_vm "the runs$missing of $(basename "$exe")" 1200 "${args[@]}") |
      tee "$work/out" || code=$? ;;
  esac
  local passed
  passed=$(sed -n 's/^passed: //p' "$work/out")
  # shellcheck disable=SC2086
  [ -z "$passed" ] || record "$exe" $passed
  return "$code"
}

decide
case "${1:-}" in
  where)
    echo "$where: $why"
    [ "$where" != none ]
    ;;
  test)
    [ -n "${2:-}" ] || { echo "usage: $0 test BUILD" >&2; exit 2; }
    case "$where" in
      native) echo "wine32: the 32-bit runs take place natively: $why" ;;
      emulated) echo "wine32: the 32-bit runs take place in the emulated machine: $why" ;;
      none)
        echo "wine32: the 32-bit runs take place nowhere: $why"
        [ -z "${CI:-}" ] || { echo "wine32: under CI that is a failure"; exit 1; }
        exit 0
        ;;
    esac
    test_build "$2"
    ;;
  check)
    [ -f "${2:-}" ] || { echo "usage: $0 check EXE" >&2; exit 2; }
    check_exe "$(realpath "$2")"
    ;;
  *) echo "usage: $0 where | test BUILD | check EXE" >&2; exit 2 ;;
esac
