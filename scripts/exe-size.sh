#!/usr/bin/env bash
# Prints QVL7UNIN.EXE's size, its section table and its SHA-256.
#
#   scripts/exe-size.sh [FILE]
#
# Without FILE it builds build/mingw/QVL7UNIN.EXE first (preset mingw) and reports that.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-}
if [ -z "$exe" ]; then
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw --target qvl7unin_exe >/dev/null
  exe=build/mingw/QVL7UNIN.EXE
fi
[ -f "$exe" ] || { echo "no file $exe" >&2; exit 1; }

u32() { od -An -tu4 -j "$1" -N 4 "$exe" | tr -d ' '; }
u16() { od -An -tu2 -j "$1" -N 2 "$exe" | tr -d ' '; }
pe=$(u32 60)
count=$(u16 $((pe + 6)))
optional=$((pe + 24))
table=$((optional + $(u16 $((pe + 20)))))

echo "$exe: $(stat -c %s "$exe") bytes"
echo "headers: $(u32 $((optional + 60))) bytes; alignment $(u32 $((optional + 32))) in memory, $(u32 $((optional + 36))) in the file"
# Each section header: name (8 bytes), size in memory, address, size in the file, ...,
# and its flags last: read, write, execute in the top bits.
printf '%-8s %10s %8s %6s\n' section memory file access
for ((i = 0; i < count; i++)); do
  at=$((table + 40 * i))
  name=$(dd if="$exe" bs=1 skip=$at count=8 status=none | tr -d '\0')
  flags=$(u32 $((at + 36)))
  access=$( ((flags & 0x40000000)) && printf r || printf -)$( ((flags & 0x80000000)) && printf w || printf -)$( ((flags & 0x20000000)) && printf x || printf -)
  printf '%-8s %10d %8d %6s\n' "$name" "$(u32 $((at + 8)))" "$(u32 $((at + 16)))" "$access"
done
echo "SHA-256: $(sha256sum "$exe" | cut -d' ' -f1)"
