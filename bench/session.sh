# Sourced by start_time.sh and window_memory.sh. bench_session checks that the programs are
# built, makes a work folder (removed at exit) holding the machine, and starts
# a private Xvfb without a window manager, so that top-level windows are
# children of the root window. Expects `root` and `bin` to be set.
#   bench_session NAME PREFIX PROGRAM...
# PREFIX empty: the machine of `big_machine.sh 1`; else a copy of PREFIX.
bench_session() {
    local name=$1 given=$2 program
    shift 2
    for program in "$@"; do
        [ -x "$bin/$program" ] || { echo "error: $bin/$program missing; build the targets $*" >&2; exit 1; }
    done
    command -v Xvfb >/dev/null || { echo "error: Xvfb missing (Debian: xvfb)" >&2; exit 1; }
    work=$(mktemp -d "${TMPDIR:-/tmp}/frambul-$name.XXXXXX")
    trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
    if [ -n "$given" ]; then
        cp -a -- "$given" "$work/prefix"
    else
        "$root/bench/big_machine.sh" 1 "$work/prefix" >/dev/null
    fi
    # Xvfb picks a free display number and writes it once it accepts clients.
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    exec 3>&-
    export DISPLAY=:$(head -n1 "$work/display") XDG_RUNTIME_DIR=$work/runtime HOME=$work/home
    mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME"
}

# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
