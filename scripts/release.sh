#!/usr/bin/env bash
# Makes the release media: QVL7UNIN.EXE, a 1.44 MB floppy image and a CD image that hold it
# with a README.TXT, and SHA256SUMS; checks the exe as the build does and that those very
# bytes ran under 32-bit Wine, then reads the images back and checks them.
#
#   scripts/release.sh [--exe FILE] [OUT]
#
# OUT is dist/ by default. Without --exe it builds QVL7UNIN.EXE (preset mingw). The set
# is made beside OUT's files and moves in only when every check has passed; an earlier
# set there goes at the start, so after a failed run OUT holds none that could pass for
# this run's. Every run from one commit makes the same bytes: the dates in the images are
# the commit's (SOURCE_DATE_EPOCH, when set, wins), the serial number and labels are
# fixed, the tools' clocks and random ids are pinned to that date, and neither image
# carries a tool's name and version.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
fail() {
  echo "release: $*" >&2
  exit 1
}
exe=
if [ "${1:-}" = --exe ]; then
  exe=$(realpath "${2:?--exe FILE}")
  [ -f "$exe" ] || fail "no file $exe"
  shift 2
fi
out=${1:-$root/dist}
label=QVL7UNIN
serial=52400001
floppy=QVL7UNIN.IMG
iso=QVL7UNIN.ISO
# The released files, the sums last: they move into OUT in this order.
released=(QVL7UNIN.EXE "$floppy" "$iso" SHA256SUMS)

mkdir -p "$out"
out=$(realpath "$out")
# Inside OUT, so that the finished set moves in by renaming.
work=$(mktemp -d "$out/.release-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/files" "$work/set"
# FILE may be OUT's own QVL7UNIN.EXE: it is copied before the old set goes.
[ -z "$exe" ] || cp "$exe" "$work/files/QVL7UNIN.EXE"
(cd "$out" && rm -f "${released[@]}")
if [ -z "$exe" ]; then
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target qvl7unin_exe >/dev/null
  exe=$root/build/mingw/QVL7UNIN.EXE
  cp "$exe" "$work/files/QVL7UNIN.EXE"
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct) || fail "no commit to date the media by: set SOURCE_DATE_EPOCH"
fi
export SOURCE_DATE_EPOCH
# FAT keeps local time: the same clock everywhere.
export TZ=UTC LC_ALL=C

# The copy that ships gets the build's check of its layout and imports: the build runs
# it only as a test, a file given with --exe may never have had it, and no Windows 95
# machine here would tell.
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || fail "no $objdump (package binutils-mingw-w64-i686)"
if ! cmake -DEXE="$work/files/QVL7UNIN.EXE" -DOBJDUMP="$objdump" -P "$root/cmake/check_exe.cmake" \
  >"$work/check.log" 2>&1; then
  cat "$work/check.log" >&2
  fail "$exe fails the layout check (cmake/check_exe.cmake); nothing released"
fi
sed -n 's/^-- /release: layout check: /p' "$work/check.log"

# The layout check cannot see a program that fails when it runs, and no Windows 95 PC is
# at hand: the copy that ships must have passed OK then No and OK then Yes under 32-bit
# Wine, natively or in the emulated machine. scripts/wine32.sh finds the record of those
# runs by the file's SHA-256, or makes them on this very file.
# Its exit code tells the exe's failure (1) from runs that were not made (3): a machine
# that could not be prepared says nothing of the exe.
code=0
"$root/scripts/wine32.sh" check "$work/files/QVL7UNIN.EXE" >"$work/runs.log" 2>&1 || code=$?
if [ "$code" = 3 ]; then
  tail -n 5 "$work/runs.log" >&2
  fail "$exe was not run under 32-bit Wine, so it is not released: $(sed -n 's/^NOT RUN: //p' "$work/runs.log" | tail -n 1)"
elif [ "$code" != 0 ]; then
  cat "$work/runs.log" >&2
  failed=$(sed -n 's/^FAILED: //p' "$work/runs.log" | head -n 1)
  check=$(sed '0,/^FAILED: /d' "$work/runs.log" | grep -m1 -E 'FAILED: |driver: FAIL' || true)
  fail "$exe fails ${failed:+the 32-bit run $failed${check:+ ($check)}, }under Wine ($("$root/scripts/wine32.sh" where || true)); nothing released"
fi
sed -n 's/^wine32: /release: /p; s/^passed: /release: passed the 32-bit run /p' "$work/runs.log"

# The files that go onto both images, dated at the commit.
sed 's/$/\r/' >"$work/files/README.TXT" <<'EOF'
Ovrik Velostrix R40 printer driver - uninstall program
=======================================================

QVL7UNIN.EXE removes the Ovrik Velostrix R40 printer driver from Windows 95
and Windows 98: its registry keys, its printer entries, its lines in WIN.INI,
its Start menu group, its files in the SYSTEM folder and its setup information
file in the INF folder. Files that Windows is using are deleted at the next
start of Windows, through WININIT.INI. Other printers stay as they are.

To run it:

  1. Double-click QVL7UNIN.EXE on this disk (in My Computer, open the floppy
     drive A: or the CD drive), or choose Start, Run and type
     A:\QVL7UNIN.EXE (or the CD drive's letter instead of A:).
  2. Click OK to confirm, or Cancel to leave everything as it is.
     The removal then takes a moment.
  3. Answer Yes to restart Windows now, or No to restart later. The driver's
     last files are deleted when Windows starts again.

The program needs nothing else; it can also be copied to the hard disk first.
EOF
touch -d "@$SOURCE_DATE_EPOCH" "$work/files/QVL7UNIN.EXE" "$work/files/README.TXT"
cp "$work/files/QVL7UNIN.EXE" "$work/set/QVL7UNIN.EXE"

# The floppy: FAT12, fixed serial and label; mcopy -m keeps the files' dates, and mtools
# takes "now" (the label's date) from SOURCE_DATE_EPOCH. mformat names itself, with its
# version ("MTOO4032"), as the boot sector's OEM name and has no option for it; it does
# format from a boot sector given to it, so a second format takes the first one's with
# the name that Microsoft's FAT documents advise and Windows 98 writes.
oem=MSWIN4.1
mformat -C -i "$work/first.img" -f 1440 -v "$label" -N "$serial" ::
head -c 512 "$work/first.img" >"$work/boot.bin"
printf %s "$oem" | dd of="$work/boot.bin" bs=1 seek=3 conv=notrunc status=none
mformat -C -i "$work/set/$floppy" -f 1440 -v "$label" -N "$serial" -B "$work/boot.bin" ::
mcopy -m -i "$work/set/$floppy" "$work/files/QVL7UNIN.EXE" "$work/files/README.TXT" ::

# The CD: plain ISO 9660 level 1, whose 8.3 names every Windows reads; no Rock Ridge or
# Joliet. SOURCE_DATE_EPOCH sets xorriso's "now", the volume's id and the files' dates;
# the volume's own dates are set here too. xorriso would name itself, with its version,
# as the preparer: that id and the others that could name who made the disc stay blank.
iso_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y%m%d%H%M%S00)
xorriso -report_about SORRY -outdev "$work/set/$iso" -volid "$label" \
  -preparer_id "" -application_id "" -publisher "" -system_id "" \
  -rockridge off -joliet off -compliance iso_9660_level=1 \
  -volume_date c "$iso_date" -volume_date m "$iso_date" \
  -volume_date x default -volume_date f default \
  -map "$work/files/QVL7UNIN.EXE" /QVL7UNIN.EXE -map "$work/files/README.TXT" /README.TXT \
  -commit 2>"$work/xorriso.log" || { cat "$work/xorriso.log" >&2; fail "xorriso failed"; }

# The checks: each image gives back the built file and the README, and the floppy's
# file system is clean.
mkdir "$work/back-floppy" "$work/back-CD"
mcopy -n -i "$work/set/$floppy" ::QVL7UNIN.EXE ::README.TXT "$work/back-floppy/"
xorriso -report_about SORRY -osirrox on -indev "$work/set/$iso" \
  -extract /QVL7UNIN.EXE "$work/back-CD/QVL7UNIN.EXE" \
  -extract /README.TXT "$work/back-CD/README.TXT" 2>"$work/xorriso.log" ||
  { cat "$work/xorriso.log" >&2; fail "reading $iso back failed"; }
for image in floppy CD; do
  for f in QVL7UNIN.EXE README.TXT; do
    cmp -s "$work/files/$f" "$work/back-$image/$f" || fail "$f read back from the $image image differs"
  done
done
fsck.fat -n "$work/set/$floppy" >"$work/fsck.log" 2>&1 || { cat "$work/fsck.log" >&2; fail "fsck.fat finds $floppy faulty"; }
[ "$(stat -c %s "$work/set/$floppy")" = 1474560 ] || fail "$floppy is not 1.44 MB"
[ "$(dd if="$work/set/$floppy" bs=1 skip=3 count=8 status=none)" = "$oem" ] || fail "$floppy's OEM name is not $oem"

(cd "$work/set" && sha256sum QVL7UNIN.EXE "$floppy" "$iso" >SHA256SUMS)
# Every check has passed.
for f in "${released[@]}"; do
  mv "$work/set/$f" "$out/$f"
done
echo "release: $out"
(cd "$out" && cat SHA256SUMS)
