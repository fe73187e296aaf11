#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds everything with warnings as
# errors, gives each parser a short fuzz run, then runs every test suite.
#   FUZZ_SECONDS=N   seconds per fuzz target (default 30; 0 skips fuzzing)
set -euo pipefail

root=$(cd -- "$(dirname -- "$0")/.." && pwd)
build="$root/build"

. "$root/scripts/deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFRAMBUL_WERROR=ON
cmake --build "$build" -j"$(nproc)"

if [ "${FUZZ_SECONDS:-30}" != 0 ]; then
    "$root/fuzz/run.sh" "${FUZZ_SECONDS:-30}"
fi

cd "$build"
ctest --output-on-failure
