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
for program in frambul bare_window; do
    [ -x "$bin/$program" ] || { echo "error: $bin/$program missing; build the targets frambul bare_window" >&2; exit 1; }
done
for tool in xdotool Xvfb; do
    command -v "$tool" >/dev/null || { echo "error: $tool missing (Debian: xdotool, xvfb)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/frambul-memory.XXXXXX")
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
if [ -n "${3:-}" ]; then
    cp -a -- "$3" "$work/prefix"
else
    "$root/bench/big_machine.sh" 1 "$work/prefix" >/dev/null
fi

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
exec 3>&-
export DISPLAY=:$(head -n1 "$work/display") XDG_RUNTIME_DIR=$work/runtime HOME=$work/home
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME"

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
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
m_ours=$(median "${ours[@]}") m_bare=$(median "${bare[@]}")
echo "runs: $runs interleaved pairs; system.reg $(stat -c %s "$work/prefix/system.reg") bytes"
awk -v a="$m_ours" -v b="$m_bare" 'BEGIN {
    printf "frambul     peak RSS: median %.1f MiB\n", a / 1024
    printf "bare window peak RSS: median %.1f MiB\n", b / 1024
    printf "difference: %.1f MiB\n", (a - b) / 1024 }'
