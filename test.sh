#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite with ctest.
set -euo pipefail
cd "$(dirname "$0")"

./tools/install-deps.sh
JOBS=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$JOBS"
cd build
ctest --output-on-failure -j"$JOBS" "$@"
