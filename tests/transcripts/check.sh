#!/usr/bin/env bash
# Runs the Linux program on the machines below and compares each run with its transcript
# in this folder: NAME.out what it printed, NAME.dialogs the user32 calls of its dialogs
# and its exit code, NAME.trace the removal's calls. With --update it writes them anew
# instead; read their diff before committing it.
#
#   check.sh [--update] PROGRAM
set -uo pipefail
update=0
[ "${1:-}" = --update ] && { update=1; shift; }
program=$(realpath "${1:?PROGRAM}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# NAME, the machine (a demo machine with the driver installed, or one holding nothing of
# it) and the answers.
runs=(
  "win98-ok-no demo 98 ok,no"
  "win95-ok-no demo 95 ok,no"
  "win98-cancel demo 98 cancel"
  "win98-escape-during-progress demo 98 ok,escape@35"
  "empty98-ok-yes empty 0x040A07CE ok,yes"
  "empty95-ok-no empty 0x040003B6 ok,no"
)

# The differing lines with three of context: a mark, the line's number in the transcript
# and in this run, and the line.
numbered() {
  awk 'NR <= 2 { next }
    /^@@/ { split(substr($2, 2), o, ","); split(substr($3, 2), n, ","); old = o[1]; new = n[1]
            if (NR > 3) print "  ..."; next }
    /^-/ { printf "- %5d       %s\n", old++, substr($0, 2); next }
    /^\+/ { printf "+       %5d %s\n", new++, substr($0, 2); next }
    /^ / { printf "  %5d %5d %s\n", old++, new++, substr($0, 2) }'
}

failed=0
for run in "${runs[@]}"; do
  read -r name kind build answers <<<"$run"
  machine=$work/$name
  if [ "$kind" = demo ]; then
    "$program" --make-demo "$machine" --build "$build"
  else
    mkdir -p "$machine/C/WINDOWS/SYSTEM"
    printf '[Version]\r\nBuildNumber=%s\r\n' "$build" >"$machine/machine.ini"
    printf 'REGEDIT4\r\n\r\n' >"$machine/registry.reg"
  fi
  "$program" --machine "$machine" --answers "$answers" --trace "$work/$name.trace" \
    --dialogs "$work/$name.dialogs" >"$work/$name.out" 2>&1
  echo "exit code $?" >>"$work/$name.dialogs"
  for part in out dialogs trace; do
    file=$name.$part
    if [ "$update" = 1 ]; then
      cp "$work/$file" "$here/$file"
    elif [ ! -f "$here/$file" ]; then
      echo "no transcript $file: make it with the update (docs/testing.md)"
      failed=1
    elif ! cmp -s "$here/$file" "$work/$file"; then
      echo "$file: this run differs from the transcript (-: the transcript's line, +: this run's)"
      diff -U3 "$here/$file" "$work/$file" | numbered >"$work/diff"
      head -n 60 "$work/diff"
      lines=$(wc -l <"$work/diff")
      [ "$lines" -le 60 ] || echo "  ... and $((lines - 60)) lines more"
      failed=1
    fi
  done
done
if [ "$update" = 1 ]; then
  echo "transcripts written to $here: read their diff (git diff) before committing it"
elif [ "$failed" = 0 ]; then
  echo "every run is as its transcript says (${#runs[@]} runs)"
fi
exit "$failed"
