#!/usr/bin/env bash
# The Linux program as a user runs it, where its transcripts (tests/transcripts) do not
# show it: without a terminal, the machine untouched after a cancel, unknown answers.
#
#   program_test.sh PROGRAM
set -uo pipefail
program=${1:?PROGRAM}
m=$(mktemp -d)
trap 'rm -rf "$m"' EXIT
digest() { (cd "$m" && find . -type f -exec sha256sum {} + | sort); }
fail() { echo "program_test: $*" >&2; exit 1; }
# Runs the program on the machine: CODE its exit code, SAID what it wrote on stderr.
run() { said=$("$program" --machine "$m" "$@" 2>&1 >/dev/null); code=$?; }
"$program" --make-demo "$m" || fail "--make-demo: exit code $?"
before=$(digest)

# Without a terminal and without answers the program refuses and changes nothing.
run </dev/null
[[ $code == 1 && $(digest) == "$before" && $said == *"no terminal"* ]] ||
  fail "no terminal, no answers: exit code $code, machine changed, or not said: $said"
# Cancel leaves the machine as it was.
run --answers cancel
[[ $code == 2 && $(digest) == "$before" ]] || fail "cancel: exit code $code, or the machine changed"
# Unknown answers are refused before anything happens.
run --answers maybe
[ "$code" = 1 ] || fail "an unknown answer gave exit code $code"
