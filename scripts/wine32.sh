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
#                                  OK then No and OK then Yes (Windows 98 mode) under the
#                                  Wine that would run it now; runs them when no record
#                                  says so
#
# Exit codes: 0 passed, 1 the exe failed a run (named, with the check that failed), 3 the
# runs were not made (nowhere to make them, or the emulated machine could not be prepared
# or started: said in one line that names the step).
#
# The bytes are hashed before the runs, and the runs start a copy of those very bytes.
# Each run that passes is recorded under the cache (${QVL_CACHE:-~/.cache/qvl7unin}/
# records/SHA-256/RUN-MODE): the run, the mode, where, Wine's version and the date, with
# the runs' log beside it; scripts/release.sh ships only bytes that ran so. A record of
# another Wine version does not count. QVL_WINE32_WHERE=native, emulated or none
# overrides the choice (to try the emulated machine where 32-bit Wine also runs natively,
# say). Under CI, nowhere fails. QVL_WINE32_RUN names a stand-in for check's runs (a
# test's), which prints "passed: RUN", "FAILED: RUN" or "NOT RUN: why" as they would.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache_top=${QVL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qvl7unin}
records=$cache_top/records
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

# Wine's version where the runs take place: the emulated machine's is its cache's.
wine_version() {
  case "$where" in
    native) "${QVL_WINE32:-/usr/lib/wine/wine}" --version 2>&1 | head -n 1 ;;
    emulated) cat "$cache_top/vm/wine-version" 2>/dev/null ;;
  esac
}

# In the emulated machine. There the waits of the runs follow the machine's speed: a first
# start of Wine (a prefix made from the cache's) is timed, and every wait of the runs is
# that many times as long as where it takes 12 s, five at least (QVL_WAIT_SCALE, when
# set, wins). That start also brings Wine's files into the machine for the runs.
in_vm() { # what, limit, keep folder, command...
  local what=$1 limit=$2 keep=$3
  shift 3
  local prelude='set -u
    t=$SECONDS w=$(mktemp -d)
    out=$(scripts/wine-prefix.sh "$w/p" win98 32 2>&1) ||
      { echo "NOT RUN: a first start of Wine in the emulated machine failed: $out" | tr "\n" " "; echo; exit 3; }
    rm -rf "$w"
    t=$((SECONDS - t))
    s=$(((t * 5 + 11) / 12))
    [ "$s" -ge 5 ] || s=5
    [ "$s" -le 99 ] || s=99
    export QVL_WAIT_SCALE=${QVL_WAIT_SCALE:-$s}
    echo "wine32: the first start of $(/usr/lib/wine/wine --version) took $t s: the waits are $QVL_WAIT_SCALE times as long"
    "$@"'
  env -u QVL_WINE32 "$root/scripts/vm.sh" run --timeout "$limit" --what "$what" --keep "$keep" \
    -- bash -c "$prelude" run "$@"
}

# The command's output, and its exit code as above: 3 when the runs were not made.
runs() { # out file, command...: natively or in the emulated machine
  local out=$1 code=0
  shift
  case "$where" in
    native) "$@" 2>&1 | tee "$out" || code=$? ;;
    emulated)
      in_vm "the 32-bit runs" "${QVL_VM_LIMIT:-3600}" "$(dirname "$out")" "$@" 2>&1 | tee "$out" || code=$?
      # The machine's own failure, or a limit of its, is no run of the exe.
      if [ "$code" = 125 ] || [ "$code" = 124 ]; then
        echo "NOT RUN: $(grep '^vm: ' "$out" | tail -n 1)"
        code=3
      fi
      ;;
  esac
  grep -q '^NOT RUN: ' "$out" && [ "$code" != 0 ] && code=3
  return "$code"
}

record() { # sum, log, run-mode names...
  local log r dir=$records/$1
  shift
  log=$dir/runs-$(date -u +%Y%m%dT%H%M%SZ)-$$.log
  mkdir -p "$dir"
  cp "$1" "$log"
  shift
  for r in "$@"; do
    printf 'run=%s\nmode=%s\nwhere=%s\nwine=%s\ndate=%s\nlog=%s\n' "${r%-*}" "${r##*-}" "$where" \
      "$(wine_version)" "$(date -u +%FT%TZ)" "$log" >"$dir/$r"
  done
}

test_build() {
  local build=$1 code=0 sum
  build=$(cd "$build" && pwd)
  work=$(mktemp -d)
  cp "$build/QVL7UNIN.EXE" "$work/QVL7UNIN.EXE"
  sum=$(sha256sum "$work/QVL7UNIN.EXE" | cut -d' ' -f1)
  local pattern='^wine32_'
  [ "$where" = native ] || pattern=$emulated_runs
  # CTest's own log, with every run's output, comes back beside this one.
  QVL_E2E_EXE=$work/QVL7UNIN.EXE runs "$work/out" bash -c 'ctest --test-dir "$1" -R "$2" --output-on-failure -j2
    code=$?; cp "$1/Testing/Temporary/LastTest.log" "${QVL_VM_KEEP:-$3}/ctest.log"; exit $code' \
    run "$build" "$pattern" "$work" || code=$?
  # Each run that passed, by its mode, for the release's check.
  local passed
  passed=$(sed -n '/_prefix/d; s/.*Test *#[0-9]*: wine32_\(win9[58]\|winme\)_\([a-z0-9-]*\) \.*  *Passed.*/\2-\1/p' "$work/out")
  cat "$work/out" "$work/ctest.log" >"$work/log" 2>/dev/null || true
  # shellcheck disable=SC2086 # one name a word
  [ -z "$passed" ] || record "$sum" "$work/log" $passed
  return "$code"
}

# The two runs on EXE itself, in a folder of their own.
check_exe() {
  local sum runs='ok-no ok-yes' missing='' r version
  work=$(mktemp -d)
  cp "$1" "$work/QVL7UNIN.EXE"
  sum=$(sha256sum "$work/QVL7UNIN.EXE" | cut -d' ' -f1)
  version=$(wine_version)
  for r in $runs; do
    [ -n "$version" ] && grep -qxF "wine=$version" "$records/$sum/$r-win98" 2>/dev/null || missing+=" $r"
  done
  if [ -z "$missing" ]; then
    echo "wine32: $(basename "$1") ($sum) has passed$(printf ' %s' $runs) (Windows 98 mode) under $version: $records/$sum"
    return 0
  fi
  [ "$where" != none ] || { echo "NOT RUN: $why"; return 3; }
  local build=$root/build/mingw
  [ -n "${QVL_WINE32_RUN:-}" ] || cmake --build --preset mingw --target drive_dialogs reg_probe >/dev/null ||
    { echo "NOT RUN: cannot build the dialog driver and key probe"; return 3; }
  # The folder is made where the runs take place: the emulated machine's /tmp is its own.
  local script='set -u
    w=$(mktemp -d) exe=$1 drive=$2 probe=$3
    trap "rm -rf $w" EXIT
    shift 3
    tests/wine/make-template.sh "$w/template" win98 32 >"$w/template.log" 2>&1 ||
      { echo "NOT RUN: the Windows 98 prefix: $(tail -n 3 "$w/template.log" | tr "\n" " ")"; exit 3; }
    for r in "$@"; do
      if tests/wine/e2e.sh 32 win98 "$r" "$w/template" "$w/run-$r" "$exe" "$drive" "$probe" >"$w/$r.log" 2>&1; then
        echo "passed: $r"
      else
        echo "FAILED: $r"; grep -E "FAILED|failures|driver: FAIL|^run: " "$w/$r.log" | head -n 8; exit 1
      fi
    done'
  local code=0 run=(bash -c "$script" run)
  [ -z "${QVL_WINE32_RUN:-}" ] || run=("$QVL_WINE32_RUN")
  # shellcheck disable=SC2086 # one name a word
  (cd "$root" && runs "$work/out" "${run[@]}" "$work/QVL7UNIN.EXE" \
    "$build/tests/wine/drive_dialogs.exe" "$build/tests/wine/reg_probe.exe"$missing) || code=$?
  local passed
  passed=$(sed -n 's/^passed: \(.*\)/\1-win98/p' "$work/out")
  # shellcheck disable=SC2086
  [ -z "$passed" ] || record "$sum" "$work/out" $passed
  return "$code"
}

# The folders of the runs go however this script ends: a signal too.
work=
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
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
