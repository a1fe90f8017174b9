#!/usr/bin/env bash
# Makes a Wine prefix that behaves as a Windows 9x machine for our programs.
#
#   scripts/wine-prefix.sh DIR MODE [BITS]
#
# MODE is win98, win95 or winme; BITS is 64 (the default: /usr/lib/wine/wine64, which
# runs on every machine of ours) or 32 (Wine's 32-bit loader, a win32 prefix, for
# QVL7UNIN.EXE itself). Prints nothing on success; exits 3 when the loader cannot start at
# all (a kernel without 32-bit support says "Exec format error"), so callers can skip, and
# 1 when it starts but the prefix is not made.
# A DIR that already holds a prefix made so (a copy of one, say) is only set to MODE: that
# takes a second where making one takes half a minute of both cores.
#
# What it sets, and why:
#  - HKCU\Software\Wine Version: GetVersionExA then reports Windows 9x (platform id 1);
#  - the null graphics driver, so dialogs are created without an X display;
#  - no IniFileMapping for win.ini, so [Devices] and [PrinterPorts] live in win.ini as on
#    Windows 9x rather than in the registry as on NT.
# The wineserver is stopped at the end so that the next start reads the settings.
set -euo pipefail
dir=${1:?prefix folder}
mode=${2:?win98, win95 or winme}
bits=${3:-64}
case "$mode" in win98 | win95 | winme) ;; *) echo "unknown mode $mode" >&2; exit 2 ;; esac
case "$bits" in
  64) wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 arch=win64 ;;
  # QVL_WINE32 stands in for the 32-bit loader, to try the skip where it works.
  32) wine=${QVL_WINE32:-/usr/lib/wine/wine} server=/usr/lib/wine/wineserver32 arch=win32 ;;
  *) echo "unknown bits $bits" >&2; exit 2 ;;
esac
[ -x "$wine" ] || { echo "$wine is not installed" >&2; exit 3; }
export WINEPREFIX=$dir WINEARCH=$arch WINEDEBUG=-all
# QVL_WINE32_PREFIX, a prefix of this Wine made once and packed (scripts/vm.sh keeps one
# for its emulated machine, where booting one takes minutes), is unpacked instead.
if [ ! -f "$dir/system.reg" ] && [ "$bits" = 32 ] && [ -n "${QVL_WINE32_PREFIX:-}" ]; then
  mkdir -p "$dir" && tar -C "$dir" -xzf "$QVL_WINE32_PREFIX" ||
    { echo "cannot unpack $QVL_WINE32_PREFIX into $dir" >&2; exit 1; }
fi
if ! out=$("$wine" --version 2>&1); then
  echo "$wine cannot start: $(printf '%s\n' "$out" | grep -m1 -i 'error' || printf '%s' "$out" | tail -1)" >&2
  exit 3
fi
# A new prefix is made by the wineboot that Wine starts for the first program of a
# session; that program waits for it five minutes at most and then goes on. A second
# wineboot asked for (wineboot -i) then ran beside the first where making the prefix
# took longer (an emulated machine beside other work) and failed. So the first program
# does nothing (whether it could start in a prefix not yet made or not), and the
# wineserver is waited for, however long: it ends when that wineboot has.
if [ ! -f "$dir/system.reg" ]; then
  out=$("$wine" cmd /c exit 2>&1; "$server" -w 2>&1)
  [ -f "$dir/system.reg" ] && [ -s "$dir/.update-timestamp" ] ||
    { echo "making the prefix in $dir failed: $(printf '%s' "$out" | tail -n 2 | tr '\n' ' ')" >&2; exit 1; }
fi
reg() { "$wine" reg "$@" >/dev/null 2>&1; }
reg add 'HKCU\Software\Wine' /v Version /d "$mode" /f
reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\IniFileMapping\win.ini' /f || true
"$server" -k 2>/dev/null || true
"$server" -w 2>/dev/null || true
