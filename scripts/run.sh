#!/usr/bin/env bash
# Installs what is missing (Debian 12), builds, copies the sample Windows 98
# machine into a fresh temporary Wine prefix and starts the program on it.
# With no display it runs under Xvfb: it saves a screenshot of the loaded
# window, closes the window with "Отмена" and says where the screenshot is.
set -euo pipefail

root=$(cd -- "$(dirname -- "$0")/.." && pwd)
build="$root/build"

if [ "${1:-}" != --headless ]; then
    . "$root/scripts/deps.sh"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"$(nproc)" --target frambul frambul-help

    work=$(mktemp -d "${TMPDIR:-/tmp}/frambul-demo.XXXXXX")
    "$root/scripts/make-sample-prefix.sh" "$work/prefix" >/dev/null
    echo "Sample machine: $work/prefix"
    if [ -z "${DISPLAY:-}" ]; then
        exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --headless "$work"
    fi
    WINEPREFIX="$work/prefix" "$build/bin/frambul"
    exit
fi

# Under Xvfb: wait for the window, photograph it, press Esc ("Отмена").
work=$2
shot="$work/frambul.png"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
WINEPREFIX="$work/prefix" "$build/bin/frambul" &
program=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name 'Фрамбуль Над Windows' | head -n1)
sleep 1
import -window root -crop "$(xdotool getwindowgeometry --shell "$window" |
    awk -F= '/WIDTH/{w=$2} /HEIGHT/{h=$2} /^X/{x=$2} /^Y/{y=$2} END{print w "x" h "+" x "+" y}')" "$shot"
xdotool windowfocus --sync "$window" key Escape
wait "$program"
echo "Screenshot of the loaded window: $shot"
