#!/usr/bin/env bash
# Builds everything and runs every test: the Windows build with MinGW-w64 and its
# checks, the x86_64 Windows build's tests under a 64-bit Wine, each fuzz target for a
# bounded time, then the Linux build under sanitizers with its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
cmake --workflow --preset mingw
# The platform layer on real Win32: the conformance table under a 64-bit Wine, in
# win98 and win95 modes. A Wine that cannot run a program fails this step.
cmake --workflow --preset mingw64
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
# The Linux tests also read the Windows program's resources: it must be there.
QVL_REQUIRE_EXE=1 cmake --workflow --preset native
