#!/usr/bin/env bash
# Peak resident size (VmHWM) of the program's window against a bare Qt window
# built beside it, interleaved, under a private Xvfb: each runs until its
# window is shown and drawn, its peak is read, then the program's window is
# closed with Esc ("Отмена": nothing is written) and the bare one ended.
# Prints both medians and their difference.
#   bench/window_memory.sh [BUILD_DIR] [RUNS] [PREFIX]
# BUILD_DIR defaults to build-bench (configure it Release); RUNS to 11; PREFIX
# to the machine of `bench/big_machine.sh 1` (the registry of a fresh Wine 8
# prefix); bench/big_machine.sh makes bigger ones. A PREFIX given is copied
# first, never changed.
set -euo pipefail

root=$(cd -- "$(dirname -- "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${2:-11}
bin=$build/bin
command -v xdotool >/dev/null || { echo "error: xdotool missing (Debian: xdotool)" >&2; exit 1; }
. "$root/bench/session.sh"
bench_session memory "${3:-}" frambul bare_window

# peak_kib TITLE CLOSE COMMAND...: starts COMMAND, waits for its visible
# window named TITLE, lets it draw, prints the process's peak resident size so
# far in KiB, then closes the window with Esc (CLOSE esc) or ends the process
# (CLOSE term).
peak_kib() {
    local title=$1 close=$2 pid window
    shift 2
    "$@" &
    pid=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "$title" | head -n1)
    sleep 0.5
    awk '/^VmHWM:/ {print $2}' "/proc/$pid/status"
    if [ "$close" = esc ]; then
        xdotool windowfocus --sync "$window" key Escape
    else
        kill -TERM "$pid"
    fi
    wait "$pid" || true
}

ours=() bare=()
for _ in $(seq "$runs"); do
    ours+=("$(peak_kib 'Фрамбуль Над Windows' esc env WINEPREFIX="$work/prefix" "$bin/frambul")")
    bare+=("$(peak_kib 'Bare Qt window' term "$bin/bare_window")")
done
m_ours=$(median "${ours[@]}") m_bare=$(median "${bare[@]}")
echo "runs: $runs interleaved pairs; system.reg $(stat -c %s "$work/prefix/system.reg") bytes"
awk -v a="$m_ours" -v b="$m_bare" 'BEGIN {
    printf "frambul     peak RSS: median %.1f MiB\n", a / 1024
    printf "bare window peak RSS: median %.1f MiB\n", b / 1024
    printf "difference: %.1f MiB\n", (a - b) / 1024 }'
