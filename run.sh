#!/usr/bin/env bash
# Builds what is missing and starts Clipvault.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ $# -eq 0 ]; then set -- --help; fi
exec ./build/src/clipvault-cli "$@"
