#!/usr/bin/env bash
# Builds everything and runs every test: the Windows build with MinGW-w64 and its
# checks, each fuzz target for a bounded time, then the Linux build under sanitizers
# with its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
cmake --workflow --preset mingw
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
# The Linux tests also read the Windows program's resources: it must be there.
QVL_REQUIRE_EXE=1 cmake --workflow --preset native
