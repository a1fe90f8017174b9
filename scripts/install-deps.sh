#!/usr/bin/env bash
# Installs the Debian 12 packages that one use of the project needs (as root, or via sudo).
#
#   scripts/install-deps.sh demo   the Linux program alone (scripts/run-demo.sh)
#   scripts/install-deps.sh all    everything the builds, the tests and the release need
#
# Says in one line what it installs; apt-get's own output is shown only when it fails.
set -euo pipefail
what=${1:-all}
# The Linux program: a C++ compiler, and MinGW-w64's windres with the Windows headers for
# its resource script (the host compiler preprocesses it, so no MinGW compiler is needed).
demo=(cmake make g++ binutils-mingw-w64-i686 mingw-w64-common)
case "$what" in
  demo) packages=("${demo[@]}") ;;
  all)
    packages=("${demo[@]}" libgtest-dev googletest clang-format
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
      binutils-mingw-w64-x86-64 wine64
      clang libclang-rt-14-dev libfuzzer-14-dev
      mtools dosfstools xorriso)
    ;;
  *) echo "usage: $0 demo|all" >&2; exit 2 ;;
esac
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Runs a command quietly; on failure shows what it said, and fails.
quietly() {
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "install-deps: failed: $*" >&2
    return 1
  fi
}
# Another apt-get (an automatic update, say) may hold the lock for a while.
apt=("${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600)

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}" >&2
  quietly "${apt[@]}" update
  quietly "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
fi
[ "$what" = all ] || exit 0
# Wine's 32-bit half runs QVL7UNIN.EXE itself. Some machines cannot have it (no i386
# packages to be had) and some have it but cannot start 32-bit programs; the tests that
# need it then say they were skipped, so its absence does not fail the installation.
if ! installed wine32:i386; then
  echo "install-deps: installing wine32:i386" >&2
  if ! { quietly "${as_root[@]}" dpkg --add-architecture i386 &&
    quietly "${apt[@]}" update &&
    quietly "${apt[@]}" install -y --no-install-recommends wine32:i386; }; then
    echo "install-deps: wine32:i386 could not be installed; the 32-bit runs will be skipped" >&2
  fi
fi
