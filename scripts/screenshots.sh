#!/usr/bin/env bash
# Draws the confirmation dialog, the progress dialog and the restart prompt under Xvfb
# and saves them as docs/dialog-*.png. Not part of the tests.
#
# The program runs in a Wine virtual desktop (explorer /desktop=...), which draws
# captions and frames without a window manager, with Wine's X11 graphics driver rather
# than the null driver of the tests. QVL7UNIN.EXE itself is drawn under 32-bit Wine where
# the machine can start it natively, otherwise the x86_64 build under wine64.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
for tool in Xvfb convert; do
  command -v "$tool" >/dev/null || {
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q xvfb imagemagick >/dev/null
  }
done
work=$(mktemp -d)
xvfb=
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && timeout 20 "$server" -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export WINEPREFIX=$work/prefix
if scripts/wine-prefix.sh "$WINEPREFIX" win98 32 2>"$work/why"; then
  bits=32 wine=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32 preset=mingw
else
  # The emulated machine that runs QVL7UNIN.EXE in the tests (scripts/vm.sh) is not used
  # here: the shots are timed against the driver's hold of each dialog (2.5 s) and a
  # 30 s watch, not made for a machine five times slower, and what it writes comes back
  # only through its job folder. The x86_64 build draws the same dialogs from the same
  # resource script.
  echo "screenshots: $(cat "$work/why"); drawing the x86_64 build under wine64 instead (the emulated machine of the tests is not used for the timed shots)"
  rm -rf "$WINEPREFIX"
  scripts/wine-prefix.sh "$WINEPREFIX" win98 64
  bits=64 wine=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 preset=mingw64
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target qvl7unin_exe drive_dialogs >/dev/null
export WINEDEBUG=-all
# Back to Wine's default graphics driver, X11, for this prefix only.
timeout 60 "$wine" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1
timeout 20 "$server" -k 2>/dev/null || true
timeout 20 "$server" -w 2>/dev/null || true
cp "build/$preset/QVL7UNIN.EXE" "build/$preset/tests/wine/drive_dialogs.exe" "$WINEPREFIX/drive_c/"

Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")

cd "$WINEPREFIX/drive_c"
desktop=/desktop=qvl,640x480
timeout 120 "$wine" explorer "$desktop" 'C:\QVL7UNIN.EXE' >/dev/null 2>&1 &
# The driver must live on the same desktop to find the dialogs; it holds each one on
# screen for a moment and says when it is there.
timeout 120 "$wine" explorer "$desktop" 'C:\drive_dialogs.exe' --hold 2500 ok watch no \
  >"$work/driver.out" 2>&1 &
driver=$!

shot() { # name
  sleep 0.4
  import -window root "$work/$1-full.png"
  # The dialog alone: trim the desktop's plain background around it.
  convert "$work/$1-full.png" -trim +repage -colors 64 "PNG8:$root/docs/dialog-$1.png"
  echo "docs/dialog-$1.png"
}
# The dialogs' texts as the program states them, to their first line end.
text_of() { sed -n "s/^const char $1\[\] = \"\([^\"\\]*\).*/\1/p" dialogs/program.cpp | grep .; }
welcome=$(text_of WelcomeText) && status=$(text_of StatusText) ||
  { echo "screenshots: no WelcomeText or StatusText in dialogs/program.cpp"; exit 1; }
taken=
for _ in $(seq 600); do
  case "$taken" in
    "") grep -qF "$welcome" "$work/driver.out" && { shot confirm; taken=1; } ;;
    1) grep -qF "$status" "$work/driver.out" && { shot progress 2>/dev/null || true; taken=2; } ;;
    2) grep -q '^box ' "$work/driver.out" && { shot restart; taken=3; } ;;
  esac
  [ "$taken" = 3 ] && break
  sleep 0.05
done
wait "$driver" || true
cat "$work/driver.out"
[ "$taken" = 3 ] || { echo "screenshots: not every dialog appeared"; exit 1; }
