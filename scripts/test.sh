#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds everything with warnings as
# errors, gives each parser a short fuzz run, then runs every test suite.
#   FUZZ_SECONDS=N   seconds per fuzz target (default 30; 0 skips fuzzing)
set -euo pipefail

root=$(cd -- "$(dirname -- "$0")/.." && pwd)
build="$root/build"

packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libicu-dev
          clang libclang-rt-14-dev attr gzip)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFRAMBUL_WERROR=ON
cmake --build "$build" -j"$(nproc)"

if [ "${FUZZ_SECONDS:-30}" != 0 ]; then
    "$root/fuzz/run.sh" "${FUZZ_SECONDS:-30}"
fi

cd "$build"
ctest --output-on-failure
