#!/usr/bin/env bash
# Times process start -> first paint of the main window against a bare Qt
# window built beside it, interleaved, under a private Xvfb, and prints both
# medians and their ratio.
#   bench/start_time.sh [BUILD_DIR] [RUNS] [PREFIX]
# BUILD_DIR defaults to build-bench (configure it Release); RUNS to 21; PREFIX
# to a fresh copy of the sample machine carrying the registry of a fresh Wine 8
# prefix (1.7 MB system.reg). A PREFIX given is copied first, never changed.
set -euo pipefail

root=$(cd -- "$(dirname -- "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${2:-21}
bin=$build/bin
. "$root/bench/session.sh"
bench_session start "${3:-}" frambul bare_window first_paint

ours=() bare=()
for _ in $(seq "$runs"); do
    ours+=("$(WINEPREFIX=$work/prefix "$bin/first_paint" "$bin/frambul")")
    bare+=("$("$bin/first_paint" "$bin/bare_window")")
done
fastest() { printf '%s\n' "$@" | sort -n | head -n1; }
m_ours=$(median "${ours[@]}") m_bare=$(median "${bare[@]}")
f_ours=$(fastest "${ours[@]}") f_bare=$(fastest "${bare[@]}")
echo "runs: $runs interleaved pairs"
echo "frambul     first paint: median $m_ours ms (fastest $f_ours)"
echo "bare window first paint: median $m_bare ms (fastest $f_bare)"
awk -v a="$m_ours" -v b="$m_bare" 'BEGIN {printf "ratio: %.2f x the bare Qt window\n", a / b}'
# On a shared machine the fastest runs are the least disturbed by other jobs.
awk -v a="$f_ours" -v b="$f_bare" 'BEGIN {printf "ratio of the fastest runs: %.2f\n", a / b}'
