#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build under sanitizers with its
# tests, then the Windows build with MinGW-w64, so a Windows-only error fails too.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
cmake --workflow --preset mingw
# The Linux tests also read the Windows program's resources: it must be there.
QVL_REQUIRE_EXE=1 cmake --workflow --preset native
