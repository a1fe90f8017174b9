#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root, or via sudo).
set -euo pipefail
packages=(cmake make g++ libgtest-dev googletest clang-format
          g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
          clang libclang-rt-14-dev libfuzzer-14-dev)
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# Wine's 32-bit half runs QVL7UNIN.EXE itself. Some machines cannot have it (no i386
# packages to be had) and some have it but cannot start 32-bit programs; the tests that
# need it then say they were skipped, so its absence does not fail the installation.
if ! installed wine32:i386; then
  if ! { "${as_root[@]}" dpkg --add-architecture i386 &&
    "${as_root[@]}" apt-get update -q &&
    "${as_root[@]}" apt-get install -y -q --no-install-recommends wine32:i386; }; then
    echo "install-deps: wine32:i386 could not be installed; the 32-bit runs will be skipped" >&2
  fi
fi
