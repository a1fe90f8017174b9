#!/usr/bin/env bash
# Builds everything and runs every test: the Windows builds with MinGW-w64 and their
# checks and runs under Wine (i686: QVL7UNIN.EXE itself under 32-bit Wine where the
# machine can start it; x86_64: the same sources under wine64), each fuzz target for a
# bounded time, then the Linux build under sanitizers with its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
scripts/check-format.sh
cmake --workflow --preset mingw
# The platform layer and the program on real Win32, under a 64-bit Wine in win98 and
# win95 modes: the conformance table and the end-to-end runs, and one of those in winme
# mode. A Wine that cannot run a program fails this step.
cmake --workflow --preset mingw64
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
# The Linux tests also read the Windows program's resources: it must be there.
QVL_REQUIRE_EXE=1 cmake --workflow --preset native
