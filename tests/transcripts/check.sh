#!/usr/bin/env bash
# Runs the Linux program on the machines below and compares each run with its transcript
# in this folder: NAME.out what it printed, NAME.dialogs the user32 calls of its dialogs
# and its exit code, NAME.trace the removal's calls. With --update it writes them anew
# instead, all of them or, if a run fails, none; read their diff before committing it.
#
#   check.sh [--update] PROGRAM
set -uo pipefail
update=0
[ "${1:-}" = --update ] && { update=1; shift; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# NAME, the machine, its build, the answers and, for a machine that starts with a
# C:\WINDOWS\wininit.ini, its bytes in printf %b's escapes: the rest of the line after
# one blank, blanks at either end included, e.g.
# '[rename]\r\nNUL=C:\\WINDOWS\\OLD.DLL\r\n'. A "demo" machine is --make-demo's, the
# driver beside another printer; an "empty" one holds a Windows folder and the build, not
# even the folders' settings, and is written here, as the program makes none so bare.
runs=(
  'win98-ok-no demo 98 ok,no'
  'win95-ok-no demo 95 ok,no'
  'win98-cancel demo 98 cancel'
  'win98-escape-during-progress demo 98 ok,escape@35'
  'empty98-ok-yes empty 0x040A07CE ok,yes'
  'empty95-ok-no empty 0x040003B6 ok,no'
  'wininit-rename-last empty 0x040A07CE ok,no [CombineVxDs]\r\nfoo=bar\r\n\f[ReName]\r\nNUL=C:\\OLD.DLL'
  'wininit-other-last empty 0x040A07CE ok,no [rename]\r\nNUL=C:\\OLD.DLL\r\n[CombineVxDs]\r\nfoo=bar\r\n'
)

# Stops with why and, from FILE, the first of what the program said.
fail() {
  echo "check.sh: $1$([ "$update" = 0 ] || echo '; no transcript written')" >&2
  [ -z "${2:-}" ] || head -n 5 "$2" | cut -c 1-160 | sed 's/^/  | /' >&2
  exit 1
}
# An update under CI, then the comparison, would pass whatever the program did.
[ "$update" = 0 ] || [ -z "${CI:-}" ] || fail "no --update under CI (CI=$CI): its diff must be read"
program=${1:?PROGRAM}
[ -x "$program" ] || fail "no program $program: build the target qvl7unin"

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

# Every run before any transcript. The program exits with 2 after a run or a cancel and
# with 1 when a dialog could not be made; its refusals and the sanitizers exit with 1
# too, but say so on stderr, which an ordinary run leaves empty.
files=()
for run in "${runs[@]}"; do
  [[ $run =~ ^(([^ ]+ ){3}[^ ]+)( (.*))?$ ]] || fail "not NAME MACHINE BUILD ANSWERS [WININIT]: '$run'"
  read -r name kind build answers <<<"${BASH_REMATCH[1]}" && wininit=${BASH_REMATCH[4]}
  machine=$work/machines/$name
  if [ "$kind" = demo ]; then
    "$program" --make-demo "$machine" --build "$build" >"$work/said" 2>&1 ||
      fail "$name: the demo machine cannot be made (exit code $?)" "$work/said"
  else
    mkdir -p "$machine/C/WINDOWS/SYSTEM"
    printf '[Version]\r\nBuildNumber=%s\r\n' "$build" >"$machine/machine.ini"
    printf 'REGEDIT4\r\n\r\n' >"$machine/registry.reg"
  fi
  [ -z "$wininit" ] || printf %b "$wininit" >"$machine/C/WINDOWS/wininit.ini"
  "$program" --machine "$machine" --answers "$answers" --trace "$work/$name.trace" \
    --dialogs "$work/$name.dialogs" >"$work/$name.out" 2>"$work/said"
  code=$?
  echo "exit code $code" >>"$work/$name.dialogs"
  [[ ! -s $work/said && $code == [12] ]] || fail "$name: the run failed (exit code $code)" "$work/said"
  files+=("$work/$name".{out,dialogs,trace})
done

if [ "$update" = 1 ]; then
  cp "${files[@]}" "$here/" && echo "transcripts written to $here: read their diff before committing it"
  exit
fi
failed=0
for path in "${files[@]}"; do
  file=${path##*/}
  cmp -s "$here/$file" "$path" && continue
  failed=1
  [ -f "$here/$file" ] || { echo "no transcript $file: make it with the update (docs/testing.md)"; continue; }
  echo "$file: this run differs from the transcript (-: the transcript's line, +: this run's)"
  diff -U3 "$here/$file" "$path" | numbered |
    awk 'NR <= 60; END { if (NR > 60) print "  ... and " NR - 60 " lines more" }'
done
for path in "$here"/*.{out,dialogs,trace}; do
  [[ ! -e $path || " ${files[*]##*/} " == *" ${path##*/} "* ]] && continue
  echo "${path##*/}: stale: no run listed in check.sh makes it"
  failed=1
done
[ "$failed" = 1 ] || echo "every run is as its transcript says (${#runs[@]} runs)"
exit "$failed"
