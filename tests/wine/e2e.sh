#!/usr/bin/env bash
# One end-to-end run of the Windows program under Wine, on a prefix seeded with the
# driver's whole footprint beside another printer's, answering its dialogs from outside.
#
#   e2e.sh BITS MODE PATH TEMPLATE WORK EXE DRIVE PROBE
#
# BITS 64 (wine64, the x86_64 build) or 32 (Wine's 32-bit loader, QVL7UNIN.EXE itself);
# MODE win98, win95 or winme; PATH ok-no, ok-yes, cancel, escape, or one over a
# wininit.ini that stands there before the run (see "seed" below).
# TEMPLATE is a prefix made by scripts/wine-prefix.sh for MODE and BITS; WORK a folder
# of this run's own. Exits 0 when every check holds, 1 otherwise, 77 (skipped) when
# Wine's loader for BITS cannot start here.
set -uo pipefail
bits=$1 mode=$2 path=$3 template=$4 work=$5 exe=$6 drive=$7 probe=$8
# Every wait is this many times longer on a slow machine (an emulated one: scripts/vm.sh).
scale=${QVL_WAIT_SCALE:-1} limit=$((90 * ${QVL_WAIT_SCALE:-1}))
# scripts/wine32.sh runs a copy of the bytes it hashed.
[ "$bits" != 32 ] || exe=${QVL_E2E_EXE:-$exe}

if [ "$bits" = 32 ]; then
  # QVL_WINE32 stands in for the loader, to try the skip on a machine that has one.
  wine=${QVL_WINE32:-/usr/lib/wine/wine} server=/usr/lib/wine/wineserver32
else
  wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
fi
# Some kernels cannot start 32-bit programs at all ("Exec format error"): that is no
# fault of ours, and the 32-bit run says it was skipped, with the loader's own words.
# wine64 runs on every machine of ours, so there a loader that cannot start fails.
out=$("$wine" --version 2>&1)
code=$?
if [ "$code" != 0 ]; then
  echo "$wine cannot start here (exit code $code): $out"
  [ "$bits" = 32 ] && { echo "SKIPPED: no 32-bit Wine on this machine"; exit 77; }
  exit 1
fi
case "$bits" in 32) arch=win32 ;; *) arch=win64 ;; esac
source "$(dirname "$0")/footprint.sh"
cleanup() { timeout $((20 * scale)) "$server" -k 2>/dev/null || true; }
trap cleanup EXIT
enter_prefix "$template" "$work" "$arch" || exit 1

failures=0
check() { # description, command...
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}
w() { timeout $((60 * scale)) "$wine" "$@"; }

seed_footprint
# A wininit.ini before the run, in printf %b's escapes, and what stands before the run's
# own lines afterwards: a line end where its last line lacked one, and "[rename]" where
# its last section is another or none, as Wine's profile reader sees it.
seed= kept='[rename]\r\n'
case "$path" in
  ok-no-wininit) seed='[rename]' ;;
  ok-yes-other-last) seed='[CombineVxDs]\r\nfoo=bar\r\n' kept="$seed[rename]\r\n" ;;
  ok-yes-form-feed) seed='\f[rename]\r\nNUL=C:\\OLD.DLL' kept="$seed\r\n" ;;
  ok-yes-300-blanks) seed="$(printf '%300s' '')[rename]\r\n" kept=$seed ;;
esac
[ -z "$seed" ] || printf %b "$seed" >"$windows/wininit.ini"

# ---------------------------------------------------------------------------------------
# The run

case "$path" in
  ok-no | ok-no-wininit) answers=(ok no) ;;
  ok-yes*) answers=(ok yes) ;;
  cancel) answers=(cancel dismiss) ;;
  escape) answers=(ok escape dismiss) ;;
  *) echo "unknown path $path" >&2; exit 2 ;;
esac
# ExitWindowsEx under Wine starts "wineboot.exe --end-session" (with " --shutdown" added
# unless EWX_REBOOT is given, " --kill" for EWX_FORCE, " --force" for EWX_FORCEIFHUNG), and
# kernelbase's trace channel "process" logs every CreateProcess with its command line, in
# the calling process, before the call returns. So in the program's own trace one such
# line is one ExitWindowsEx(EWX_REBOOT, 0) call; no other call of the program starts a
# process.
start=$(date +%s%N)
# The driver first waits for Wine's desktop, then for each dialog as long as the program
# runs (until exit-code is there); the program starts once the desktop is ready.
QVL_DRIVE_READY=ready QVL_DRIVE_UNTIL=exit-code timeout $limit "$wine" "$drive" "${answers[@]}" >driver.out 2>&1 &
driver=$!
while [ ! -e ready ] && kill -0 "$driver" 2>/dev/null; do sleep 0.2; done
code=0
WINEDEBUG=-all,trace+process timeout $limit "$wine" "$exe" 2>program.trace || code=$?
echo "$code" >exit-code
wait "$driver"
driver=$?
end=$(date +%s%N)
sed 's/^/driver: /' driver.out
echo "run: $(((end - start) / 1000000)) ms$([ "$(cat exit-code)" != 124 ] || echo ", stopped at the run's limit of $limit s (90 s × QVL_WAIT_SCALE)")"
check "the dialogs came as expected (driver exit code $driver)" [ "$driver" = 0 ]
check "exit code 2 (got $(cat exit-code))" [ "$(cat exit-code)" = 2 ]
reboots=$(grep -c 'CreateProcessInternalW app .*wineboot.exe --end-session"' program.trace)
case "$path" in
  ok-yes*) check "ExitWindowsEx(EWX_REBOOT, 0) once ($reboots)" [ "$reboots" = 1 ] ;;
  *) check "no ExitWindowsEx ($reboots)" [ "$reboots" = 0 ] ;;
esac
grep 'wineboot' program.trace | sed 's/^/trace: /'

# ---------------------------------------------------------------------------------------
# Checks

removed=1
case "$path" in cancel | escape) removed=0 ;; esac
removed98=$removed
[ "$mode" = win95 ] && removed98=0

# Keys: one probe for all of them.
probe_list=()
expect=()
for k in "${driver_keys[@]}"; do
  unseeded "$k" && continue
  probe_list+=("$k" "$k\\Settings\\Deeper")
  expect+=($((1 - removed)) $((1 - removed)))
done
for k in "${driver_keys_98[@]}"; do probe_list+=("$k"); expect+=($((1 - removed98))); done
for k in "${other_keys[@]}"; do probe_list+=("$k" "$k\\Settings\\Deeper"); expect+=(1 1); done
for i in "${instances[@]}"; do
  IFS='|' read -r k _ _ gone <<<"$i"
  probe_list+=("$k")
  if [ "$gone" = 1 ]; then expect+=($((1 - removed))); else expect+=(1); fi
done
printf '%s\n' "${probe_list[@]}" | timeout $((60 * scale)) "$wine" "$probe" >probe.out 2>probe.err
mapfile -t got < <(tr -d "\r" <probe.out)
check "the key probe answered for every key (${#got[@]} of ${#probe_list[@]})" [ "${#got[@]}" = "${#probe_list[@]}" ]
for n in "${!probe_list[@]}"; do
  want=${expect[$n]}
  check "key ${probe_list[$n]} $([ "$want" = 1 ] && echo present || echo absent)" \
    [ "${got[$n]:-}" = "$want ${probe_list[$n]}" ]
done

# win.ini: a section's lines as name=value, by Wine's own spelling of the file.
ini_section() { # section -> its lines, without CR and blank lines; fails when absent
  tr -d '\r' <"$windows/win.ini" | awk -v s="[$1]" '
    /^\[/ { inside = ($0 == s); if (inside) found = 1; next }
    inside && NF { print }
    END { exit !found }'
}
has_line() { ini_section "$1" | grep -qxF "$2"; }
section_there() { ini_section "$1" >/dev/null; }
line_there() { ini_section "$1" | grep -q "^$2="; }
gone_if_removed() { if "$@"; then [ "$removed" = 0 ]; else [ "$removed" = 1 ]; fi; }
state=$([ "$removed" = 1 ] && echo gone || echo "still there")
for s in "$model-LPT1" "$model-FILE" "$model-LPT2"; do
  check "win.ini section [$s] $state" gone_if_removed section_there "$s"
done
for s in Devices PrinterPorts; do
  check "win.ini [$s] line of $model $state" gone_if_removed line_there "$s" "$model"
done
check "win.ini [Devices] $other" has_line Devices "$other=HPPCL5MS,LPT2:"
check "win.ini [PrinterPorts] $other" has_line PrinterPorts "$other=HPPCL5MS,LPT2:,15,45"
check "win.ini [$other-LPT2] whole" [ "$(ini_section "$other-LPT2")" = $'Resolution=600\nMemory=2' ]
check "win.ini [windows] device= untouched" has_line windows "device=$other,HPPCL5MS,LPT2:"

# Files.
present() { [ -e "$1" ]; }
absent() { [ ! -e "$1" ]; }
want_removed() { if [ "$1" = 1 ]; then echo absent; else echo present; fi; }
for f in "${system_files[@]}"; do
  check "system32\\$f $(want_removed $removed)" "$(want_removed $removed)" "$system/$f"
done
for s in "${shortcuts[@]}"; do
  check "shortcut $s $(want_removed $removed)" "$(want_removed $removed)" "$programs_unix/$model/$s"
done
check "group folder $(want_removed $removed)" "$(want_removed $removed)" "$programs_unix/$model"
check "the other printer's group stays" present "$programs_unix/HP LaserJet/HP Toolbox.LNK"
check "INF\\OTHER\\OVRIKQVL7R40.INF $(want_removed $removed98)" "$(want_removed $removed98)" "$windows/inf/other/OVRIKQVL7R40.INF"
removed95=$([ "$mode" = win95 ] && echo "$removed" || echo 0)
check "inf\\oem1.inf (holds the token) $(want_removed $removed95)" "$(want_removed $removed95)" "$windows/inf/oem1.inf"
check "inf\\oem0.inf (another printer's) stays" present "$windows/inf/oem0.inf"
check "inf\\oem2.inf (the token inside a longer word) stays" present "$windows/inf/oem2.inf"
for f in "${other_files[@]}"; do
  check "$f stays, unchanged" [ "$(cat "$windows/$f" 2>/dev/null)" = "$f" ]
done

# wininit.ini, byte for byte: what stood there, then the run's lines.
expected_lines() { for f in "${deferred_files[@]}"; do printf 'NULL=%s\\%s\r\n' "$sysdir" "$f"; done; }
case "$removed" in
  1) expected=$(printf %b "$kept"; expected_lines; echo .) ;;
  *) expected=$([ -z "$seed" ] || { printf %b "$seed"; echo .; }) ;;
esac
actual() { [ -e "$1" ] && { cat "$1"; echo .; }; }
same_bytes() { # what, file: the file holds the expected bytes; else both are shown
  [ "$(actual "$2")" = "$expected" ] && return
  printf '%s' "$expected" | od -c | sed "s/^/$1 expected: /"
  actual "$2" | od -c | sed "s/^/$1 actual:   /"
  return 1
}
if [[ $path == ok-yes* ]]; then
  # Wine's wineboot does a restart's work at once: it works through [rename] and keeps
  # the file as wininit.bak. Should it not have got there, Wine's next cold start does.
  for _ in $(seq $((60 * scale))); do [ -e "$windows/wininit.bak" ] && [ ! -e "$windows/wininit.ini" ] && break; sleep 0.5; done
  timeout $((20 * scale)) "$server" -k 2>/dev/null || true
  [ ! -e "$windows/wininit.ini" ] || w cmd /c exit >/dev/null 2>&1 || true
  check "after the restart, no wininit.ini" absent "$windows/wininit.ini"
  check "after the restart, wininit.bak holds exactly what the run wrote" same_bytes wininit.bak "$windows/wininit.bak"
  # Wine deletes only for the key "NUL"; "NULL" is a file name to Wine, so each file is
  # moved onto C:\windows\NULL in turn and the last one stays there.
  for f in "${deferred_files[@]}"; do
    check "after the restart, system32\\$f moved away" absent "$system/$f"
  done
  check "after the restart, the last file moved is C:\\windows\\NULL" [ "$(cat "$windows/NULL" 2>/dev/null)" = "${deferred_files[-1]}" ]
else
  check "wininit.ini byte for byte" same_bytes wininit.ini "$windows/wininit.ini"
  for f in "${deferred_files[@]}"; do
    check "system32\\$f waits for the restart" present "$system/$f"
  done
fi

echo "$failures failures ($bits-bit, $mode, $path)"
[ "$failures" -eq 0 ] || exit 1
# Keep a failed run's prefix to look at; a passed one goes (hard links, but many).
cleanup
cd / && rm -rf "$work"
