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
for program in frambul bare_window first_paint; do
    [ -x "$bin/$program" ] || { echo "error: $bin/$program missing; build the targets frambul bare_window first_paint" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/frambul-start.XXXXXX")
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
if [ -n "${3:-}" ]; then
    cp -a -- "$3" "$work/prefix"
else
    "$root/scripts/make-sample-prefix.sh" "$work/prefix" >/dev/null
    for hive in system user; do
        gzip -dc "$root/samples/wine8-win64/$hive.reg.gz" >"$work/prefix/$hive.reg"
    done
fi

# A display of our own, without a window manager, so that the program's window
# is a child of the root window.
# Xvfb picks a free display number and writes it once it accepts clients.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
exec 3>&-
display=:$(head -n1 "$work/display")
export DISPLAY=$display XDG_RUNTIME_DIR=$work/runtime HOME=$work/home
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME"

ours=() bare=()
for _ in $(seq "$runs"); do
    ours+=("$(WINEPREFIX=$work/prefix "$bin/first_paint" "$bin/frambul")")
    bare+=("$("$bin/first_paint" "$bin/bare_window")")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
fastest() { printf '%s\n' "$@" | sort -n | head -n1; }
m_ours=$(median "${ours[@]}") m_bare=$(median "${bare[@]}")
f_ours=$(fastest "${ours[@]}") f_bare=$(fastest "${bare[@]}")
echo "runs: $runs interleaved pairs"
echo "frambul     first paint: median $m_ours ms (fastest $f_ours)"
echo "bare window first paint: median $m_bare ms (fastest $f_bare)"
awk -v a="$m_ours" -v b="$m_bare" 'BEGIN {printf "ratio: %.2f x the bare Qt window\n", a / b}'
# On a shared machine the fastest runs are the least disturbed by other jobs.
awk -v a="$f_ours" -v b="$f_bare" 'BEGIN {printf "ratio of the fastest runs: %.2f\n", a / b}'
