#!/usr/bin/env bash
# Builds the Linux program and runs the uninstaller on a fresh demo machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo
echo "Building the Linux program..." >&2
cmake --preset demo >/dev/null
cmake --build --preset demo >/dev/null
exec build/demo/qvl7unin "$@"
