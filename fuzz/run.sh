#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each one for
# SECONDS (default 30) on a scratch copy of its seed corpus, then runs every
# input kept in fuzz/crashes/ as a regression case. Exits non-zero when any
# target crashes. Clang and its runtime must be installed (clang-14,
# libclang-rt-14-dev); this script installs nothing.
#
# Usage: fuzz/run.sh [SECONDS]
set -euo pipefail

seconds=${1:-30}
case $seconds in
    ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

fuzz_dir=$(cd -- "$(dirname -- "$0")" && pwd)
root=$(cd -- "$fuzz_dir/.." && pwd)
build="$root/build-fuzz"
targets=(hive_fuzz ini_fuzz)

cxx=${CXX:-}
if [ -z "$cxx" ]; then
    for candidate in clang++ clang++-14; do
        if command -v "$candidate" >/dev/null 2>&1; then cxx=$candidate; break; fi
    done
fi
if [ -z "$cxx" ]; then
    echo "error: clang++ not found (install clang and libclang-rt-dev)" >&2
    exit 1
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
    -DFRAMBUL_FUZZ=ON -DFRAMBUL_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j "$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/frambul-fuzz.XXXXXX")
trap 'rm -rf -- "$work"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0

# Inputs that once crashed must never crash again. A kept input is named after
# its target: hive-*.reg for hive_fuzz, ini-*.ini for ini_fuzz.
while IFS= read -r -d '' file; do
    name=$(basename -- "$file")
    target=${name%%-*}_fuzz
    if [ ! -x "$build/bin/$target" ]; then
        echo "FAIL: no fuzz target for the kept input $name" >&2
        status=1
        continue
    fi
    if "$build/bin/$target" "$file" >"$work/regression.log" 2>&1; then
        echo "ok   $name"
    else
        grep -v -E '^(INFO|Running|\*\*\*)' "$work/regression.log" | head -n 40 >&2
        echo "FAIL: $target crashes on the kept input fuzz/crashes/$name" >&2
        status=1
    fi
done < <(find "$fuzz_dir/crashes" -type f ! -name .gitkeep -print0 | sort -z)

for target in "${targets[@]}"; do
    prefix=${target%_fuzz}
    corpus="$work/corpus-$prefix"
    mkdir -p "$corpus" "$work/artifacts-$prefix"
    cp -- "$fuzz_dir/corpus/$prefix"/* "$corpus/"
    echo "== $target: ${seconds}s"
    if ! "$build/bin/$target" "$corpus" -dict="$fuzz_dir/$prefix.dict" -max_total_time="$seconds" \
            -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$work/artifacts-$prefix/" >"$work/$target.log" 2>&1; then
        tail -n 60 "$work/$target.log" >&2
        for artifact in "$work/artifacts-$prefix"/*; do
            [ -e "$artifact" ] || continue
            echo "crashing input ($(basename -- "$artifact")), hex:" >&2
            od -An -tx1 -v -- "$artifact" | head -n 40 >&2
            cp -- "$artifact" "$build/" 2>/dev/null || true
        done
        echo "FAIL: $target crashed; the input is kept in $build/ (add it to fuzz/crashes/ as $prefix-<name>)" >&2
        status=1
    else
        grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done )' "$work/$target.log" || true
    fi
done

exit $status
