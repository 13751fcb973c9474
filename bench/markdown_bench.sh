#!/usr/bin/env bash
# Markdown out through node: the two sample notebooks, then generated
# notebooks of N text-heavy notes (about 27 KB of page each), each exported
# whole by clipvault-cli export-md; prints the seconds each took. The
# reference, timed in the same run, is the bare converter: the same pages,
# taken out beforehand with clipvault-cli cat, turned into Markdown by
# turndown and its GFM plugin on linkedom in one node process, with no
# front matter, names, pictures or files written.
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
bare() {
    local start end
    start=$(date +%s%N)
    NODE_PATH=$PWD/build/bin/js/node_modules node -e '
      const fs = require("fs"), { parseHTML } = require("linkedom");
      const TurndownService = require("turndown"), { gfm } = require("turndown-plugin-gfm");
      const td = new TurndownService({ headingStyle: "atx", codeBlockStyle: "fenced" });
      td.use(gfm);
      let total = 0;
      for (const f of fs.readdirSync(process.argv[1]))
        total += td.turndown(parseHTML(fs.readFileSync(process.argv[1] + "/" + f, "utf8")).document.body).length;
      if (!total) process.exit(1);' "$1"
    end=$(date +%s%N)
    printf '%s: %d.%03d s\n' "$2" $(( (end - start) / 1000000000 )) $(( (end - start) / 1000000 % 1000 ))
}
for n in "${@:-1000}"; do
    "$MAKE" "$WORK/gen$n.vlt" --notes "$n" >/dev/null
    mkdir -p "$WORK/pages$n"
    for id in $("$CLI" dump "$WORK/gen$n.vlt" | sed -n 's/^ *"id": \([0-9]*\),$/\1/p'); do
        "$CLI" cat "$WORK/gen$n.vlt" "$id" > "$WORK/pages$n/$id.htm" 2>/dev/null || rm -f "$WORK/pages$n/$id.htm"
    done
    seconds "$WORK/gen$n.vlt" "$WORK/gen$n-md" "$n generated notes, clipvault-cli export-md"
    bare "$WORK/pages$n" "the same pages, bare turndown in one node run (reference)"
done
