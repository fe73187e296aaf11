#!/usr/bin/env bash
# Makes a machine for the window's benchmarks at scale: a copy of the sample
# Windows 98 machine (scripts/make-sample-prefix.sh) holding the registry of a
# fresh Wine 8 prefix, its system.reg COPIES times over (bench/big_hive.py):
# 1 gives 1.7 MB, 10 gives 17 MB, 30 gives 52 MB.
#   bench/big_machine.sh COPIES DEST
# DEST must not exist or be an empty folder; start_time.sh and
# window_memory.sh take it as their PREFIX.
set -euo pipefail

if [ "$#" -ne 2 ] || [[ ! $1 =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 COPIES DEST" >&2
    exit 2
fi
root=$(cd -- "$(dirname -- "$0")/.." && pwd)
"$root/scripts/make-sample-prefix.sh" "$2" >/dev/null
"$root/bench/big_hive.py" "$1" "$2/system.reg"
gzip -dc "$root/samples/wine8-win64/user.reg.gz" >"$2/user.reg"
echo "$2"
