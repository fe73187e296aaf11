#!/usr/bin/env bash
# Copies the sample Windows 98 machine (samples/win98) into a fresh folder
# and sets the DOS file attributes that git cannot store:
#   drive_c/MSDOS.SYS           read-only + hidden + system (no write bits,
#                               user.DOSATTRIB = "0x6")
#   Startup folder shortcuts    "Проверка почты.lnk" hidden (user.DOSATTRIB =
#                               "0x2"), so it loads as a disabled entry;
#                               "Антивирусный монитор.lnk" read-only
# The attribute is stored the way Wine and Samba keep it: the ASCII text
# "0x" + hex bits in the extended attribute user.DOSATTRIB, without a NUL.
#
# Usage: scripts/make-sample-prefix.sh DEST
#   DEST must not exist or must be an empty folder. The prefix path is
#   printed at the end, ready for WINEPREFIX=...
set -euo pipefail

usage() {
    echo "usage: $0 DEST" >&2
    echo "  copies samples/win98 into DEST (a new or empty folder)" >&2
    exit 2
}

[ "$#" -eq 1 ] || usage
dest=$1
[ -n "$dest" ] || usage

script_dir=$(cd -- "$(dirname -- "$0")" && pwd)
sample="$script_dir/../samples/win98"
if [ ! -f "$sample/system.reg" ]; then
    echo "error: sample machine not found at $sample" >&2
    exit 1
fi

startup='drive_c/WINDOWS/Главное меню/Программы/Автозагрузка'
hidden_link="$startup/Проверка почты.lnk"
readonly_link="$startup/Антивирусный монитор.lnk"

# Pick the tool that writes extended attributes before anything is copied.
if command -v setfattr >/dev/null 2>&1; then
    xattr_tool=setfattr
elif command -v python3 >/dev/null 2>&1; then
    xattr_tool=python3
else
    echo "error: cannot set extended attributes: install the package 'attr' (setfattr)" >&2
    exit 1
fi

# set_dosattrib FILE VALUE: store VALUE (e.g. 0x6) as user.DOSATTRIB of FILE.
set_dosattrib() {
    if [ "$xattr_tool" = setfattr ]; then
        # The double quotes make setfattr store the text itself; a bare 0x6
        # would be taken as hex-encoded bytes.
        setfattr -n user.DOSATTRIB -v "\"$2\"" -- "$1"
    else
        python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.DOSATTRIB", sys.argv[2].encode("ascii"))' "$1" "$2"
    fi
}

if [ -e "$dest" ] || [ -L "$dest" ]; then
    if [ ! -d "$dest" ] || [ -L "$dest" ]; then
        echo "error: $dest exists and is not a folder; give a new or empty folder" >&2
        exit 1
    fi
    if [ -n "$(ls -A -- "$dest")" ]; then
        echo "error: $dest is not empty; give a new or empty folder" >&2
        exit 1
    fi
else
    mkdir -p -- "$dest"
fi
dest=$(cd -- "$dest" && pwd)

# -P keeps dosdevices/c: a relative link to ../drive_c.
for item in system.reg user.reg dosdevices drive_c; do
    cp -RP -- "$sample/$item" "$dest/"
done

msdos="$dest/drive_c/MSDOS.SYS"
chmod a-w -- "$msdos" "$dest/$readonly_link"
if ! set_dosattrib "$msdos" 0x6; then
    echo "error: could not set user.DOSATTRIB on $msdos (does the file system keep user extended attributes?); $dest is incomplete" >&2
    exit 1
fi
if ! set_dosattrib "$dest/$hidden_link" 0x2; then
    echo "error: could not set user.DOSATTRIB on $dest/$hidden_link; $dest is incomplete" >&2
    exit 1
fi

echo "$dest"
