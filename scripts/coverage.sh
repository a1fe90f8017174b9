#!/usr/bin/env bash
# Prints the native tests' branch coverage of the shipped portable code, file by file.
#
#   scripts/coverage.sh
#
# Builds the coverage preset (g++ --coverage, in build/coverage), runs its CTest tests
# from fresh counts and has gcovr report the branches each file took. It needs gcovr
# (Debian package gcovr), which scripts/install-deps.sh coverage installs when missing.
# CI does not run it; docs/robustness.md names the branches no input can take.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v gcovr >/dev/null || {
  echo "coverage: gcovr is needed; installing it" >&2
  scripts/install-deps.sh coverage
}
# Runs a step quietly; when it fails, shows what it said (for the tests, each failing
# test's name and output, the preset giving them on failure) and ends the script.
quietly() {
  local said
  said=$("$@" 2>&1) && return
  grep -vE ' Passed |^ *Start ' <<<"$said" >&2
  echo "coverage: failed: $*; no report" >&2
  exit 1
}
quietly cmake --preset coverage
quietly cmake --build --preset coverage
# Counts from an earlier build or run would be added to this one's.
find build/coverage -name '*.gcda' -delete
quietly ctest --preset coverage
# Branches as the compiler made them, less those only an exception would take
# (QVL7UNIN.EXE is built without exceptions) and those it proved unreachable.
gcovr --root . --object-directory build/coverage --exclude-directories 'build/coverage/CMakeFiles/3' \
  --branches --exclude-throw-branches --exclude-unreachable-branches \
  --filter 'removal/' --filter 'platform/textmode\.cpp' --filter 'platform/delete_tree\.h' \
  --filter 'dialogs/program\.cpp'
