#!/usr/bin/env bash
# Markdown out through node: the two sample notebooks, then generated
# notebooks of N text-heavy notes (about 27 KB of page each), each exported
# whole by clipvault-cli export-md; prints the seconds each took.
#   bench/markdown_bench.sh [N...]   (default: 1000)
# Run after a build of build/ (clipvault-cli, make_notebook, the samples).
set -euo pipefail
cd "$(dirname "$0")/.."
CLI=$PWD/build/src/clipvault-cli
MAKE=$PWD/build/bench/make_notebook
[ -x "$CLI" ] && [ -x "$MAKE" ] || { echo "build clipvault-cli and make_notebook first" >&2; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
seconds() {
    local start end
    start=$(date +%s%N)
    "$CLI" export-md "$1" / "$2" >/dev/null
    end=$(date +%s%N)
    printf '%s: %d.%03d s\n' "$3" $(( (end - start) / 1000000000 )) $(( (end - start) / 1000000 % 1000 ))
}
for book in "Getting Started" "Recipes and Travel"; do
    seconds "build/bin/Sample/$book.vlt" "$WORK/sample-$RANDOM" "$book"
done
for n in "${@:-1000}"; do
    "$MAKE" "$WORK/gen$n.vlt" --notes "$n" >/dev/null
    seconds "$WORK/gen$n.vlt" "$WORK/gen$n-md" "$n generated notes"
done
