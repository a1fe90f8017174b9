#!/usr/bin/env bash
# Runs the program on real Win32 under Wine, driving its dialogs from outside.
#
# This machine's kernel cannot start 32-bit Linux programs, so Wine's 32-bit loader, and
# with it QVL7UNIN.EXE itself, cannot run here. This script builds the same sources for
# x86_64 and runs them under a 64-bit Wine instead: the Win32 platform layer, the text
# files over kernel32, the dialogs over real user32 and comctl32. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if [ ! -x /usr/lib/wine/wine64 ] || ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q wine64 g++-mingw-w64-x86-64 >/dev/null
fi
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 >/dev/null

export WINEPREFIX=$(mktemp -d) WINEDEBUG=-all
trap 'wineserver64 -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
wine=/usr/lib/wine/wine64
wineserver64() { /usr/lib/wine/wineserver64 "$@"; }
$wine wineboot -i >/dev/null 2>&1
# Without a display, dialogs need Wine's null graphics driver.
$wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver64 -k; wineserver64 -w
windows="$WINEPREFIX/drive_c/windows"
exe=build/mingw64/QVL7UNIN.EXE
drive=build/mingw64/drive_dialogs.exe
failures=0

seed() {
  local key
  for key in 'HKLM\System\CurrentControlSet\control\Print\Monitors\Velostrix R40 LanguageMonitor\Sub1' \
             'HKLM\System\CurrentControlSet\control\Print\Monitors\Velostrix R40 LanguageMonitor\Sub2' \
             'HKLM\System\CurrentControlSet\control\Print\Monitors\HP Monitor'; do
    $wine reg add "$key" /v Driver /d x.dll /f >/dev/null 2>&1
  done
  $wine reg add 'HKLM\Enum\Root\printer\0000' /v DeviceDesc /d 'HP LaserJet 4' /f >/dev/null 2>&1
  $wine reg add 'HKLM\Enum\Root\printer\0003' /v DeviceDesc /d 'Ovrik Velostrix R40' /f >/dev/null 2>&1
  mkdir -p "$windows/inf/other"
  echo x > "$windows/inf/other/OVRIKQVL7R40.INF"
  echo x > "$windows/inf/other/HPLJ4.INF"
  echo x > "$windows/system32/QVL732.DLL"
  echo x > "$windows/system32/HPPCL5MS.DRV"
  rm -f "$windows/wininit.ini" "$windows/wininit.bak"
}

key_exists() { $wine reg query "$1" >/dev/null 2>&1; }
key_gone() { ! key_exists "$1"; }

check() { # description, condition...
  local what=$1; shift
  if "$@"; then echo "  ok: $what"; else echo "  FAILED: $what"; failures=$((failures + 1)); fi
}

scenario() { # expected exit code, removal expected (yes/no), answers...
  local code=$1 removed=$2; shift 2
  echo "answers: $*"
  seed
  ( code=0; timeout 60 $wine "$exe" || code=$?; echo $code > "$WINEPREFIX/exit" ) &
  timeout 60 $wine "$drive" "$@" | sed 's/^/  /' || true
  wait
  check "exit code $code" [ "$(cat "$WINEPREFIX/exit")" = "$code" ]
  if [ "$removed" = yes ]; then
    check "driver files gone" [ ! -e "$windows/system32/QVL732.DLL" -a ! -e "$windows/inf/other/OVRIKQVL7R40.INF" ]
    check "key with two subkeys gone" key_gone 'HKLM\System\CurrentControlSet\control\Print\Monitors\Velostrix R40 LanguageMonitor'
    check "instance key after a gap gone" key_gone 'HKLM\Enum\Root\printer\0003'
    local expected
    expected=$(printf '[rename]\r\n'; for f in QVL7TN16.DLL QVL7TN32.DLL QVL7LANG.DLL QVL7PRIN.DLL QVL7UNIN.EXE; do printf 'NULL=C:\\windows\\system32\\%s\r\n' $f; done)
    if [ "$*" = "ok yes" ]; then
      # ExitWindowsEx ends Wine's session; its next start works through wininit.ini
      # and keeps it as wininit.bak.
      $wine cmd /c exit >/dev/null 2>&1 || true
      check "restart: wininit.ini worked through, kept as wininit.bak" [ "$(cat "$windows/wininit.bak" 2>/dev/null)" = "$expected" ]
    else
      check "wininit.ini byte for byte" [ "$(cat "$windows/wininit.ini")" = "$expected" ]
    fi
  else
    check "driver files still there" [ -e "$windows/system32/QVL732.DLL" ]
    check "no wininit.ini" [ ! -e "$windows/wininit.ini" ]
  fi
  check "other printer untouched" [ -e "$windows/system32/HPPCL5MS.DRV" -a -e "$windows/inf/other/HPLJ4.INF" ]
  check "other printer's keys untouched" key_exists 'HKLM\Enum\Root\printer\0000'
  check "other monitor untouched" key_exists 'HKLM\System\CurrentControlSet\control\Print\Monitors\HP Monitor'
}

scenario 2 yes ok no
scenario 2 no cancel dismiss
scenario 2 no ok escape dismiss
scenario 2 yes ok yes
echo "wine64 smoke: $failures failures"
[ "$failures" -eq 0 ]
