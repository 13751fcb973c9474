#!/usr/bin/env bash
# Runs a fuzz target for a number of seconds over its seed corpus.
#   scripts/fuzz.sh SECONDS [TARGET] [extra libFuzzer flags...]
# New inputs go to fuzz/corpus/TARGET/new/ (not committed); crashes are
# written beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET]}
target=${2:-archive_fuzz}
shift $(( $# >= 2 ? 2 : 1 ))

./scripts/deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCLIPVAULT_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build-fuzz --target "$target"

work=fuzz/corpus/$target/new
mkdir -p "$work"
exec "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/" "$@" "$work" "fuzz/corpus/$target"
