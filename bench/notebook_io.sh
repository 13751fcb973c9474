#!/usr/bin/env bash
# Notebook open/save throughput next to cat and cp+sync of the same file.
#   bench/notebook_io.sh [--notes N] [--mb M] [--rounds R] [--dir FOLDER] [--from FILE.vlt]
# Defaults: 10000 notes, 300 MB of attachments, 5 rounds, files in
# build/bench-io (a disk folder: on tmpfs the syncs would cost nothing).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target notebook_io_bench >/dev/null

dir=build/bench-io
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --dir) dir=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
mkdir -p "$dir"
exec build/bench/notebook_io_bench --dir "$dir" "${args[@]}"
