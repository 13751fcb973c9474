#!/usr/bin/env bash
# Markdown out and a note's text from the command line: the two sample
# notebooks and pages captured from a loopback site exported whole and read
# back by a CommonMark parser (check_markdown.js), names that try to leave
# the export or collide, refusals that must leave nothing behind, and
# "text" / "text --reader" on a news page and on a page of links.
# Usage: markdown_cli_test.sh CLI SAMPLE-FOLDER NODE_MODULES
set -euo pipefail
CLI=$1
SAMPLES=$2
MODULES=$(cd "$3" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
SERVER_PID=
cleanup() {
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "markdown_cli_test: $*" >&2; exit 1; }
check() { node "$HERE/check_markdown.js" "$MODULES" "$@"; }
cd "$WORK"
export TMPDIR="$WORK/tmp" no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
mkdir -p tmp site/img

# --- the sample notebooks, whole ---
for book in "Getting Started" "Recipes and Travel"; do
    start=$(date +%s%N)
    "$CLI" export-md "$SAMPLES/$book.vlt" / "samples-$book" >out.txt || fail "export of $book: $(cat out.txt)"
    echo "export-md $book: $(( ($(date +%s%N) - start) / 1000000 )) ms"
    grep -q "written to samples-$book" out.txt || fail "no summary: $(cat out.txt)"
    check "samples-$book" --min files=8 --min headings=10 --min images=5 --min links=5 || fail "$book"
    # Every picture in assets/ is one some page shows, and each is there once.
    for f in "samples-$book"/assets/*; do
        grep -rqF "assets/$(basename "$f")" "samples-$book" --include='*.md' || fail "$f is shown by no page"
    done
done
grep -rq '^| ' "samples-Recipes and Travel" || fail "no table row in the recipes"

# --- a documentation page, a news page and a page of links, captured ---
printf 'GIF89a\001\000\001\000\000\000\000;' >site/img/diagram.gif
printf 'GIF89a\001\000\001\000\000\000\000;' >"site/img/step one (1).gif"
cat >site/docs.html <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Widget guide</title><script>var tracker = 1;</script>
<style>body { font: 12px serif }</style></head>
<body><nav><a href="/">Home</a></nav>
<h1>Widget guide</h1>
<p>Install the widget, then <mark class="cv-highlight cv-highlight-yellow" data-cv-highlight="h1" data-cv-color="yellow"
 data-cv-date="2026-12-09T18:00:00Z" data-cv-comment="Read &quot;this&quot;: first">configure it carefully</mark>.</p>
<h2>Options</h2>
<table><thead><tr><th>Name</th><th>Default</th></tr></thead>
<tbody><tr><td>size</td><td>10 | 12</td></tr><tr><td>colour</td><td><del>red</del> blue</td></tr></tbody></table>
<h2>Example</h2>
<pre><code class="language-python">def hello():
    print("hi")
```
</code></pre>
<p><img src="img/diagram.gif" alt="The diagram"> <img src="img/step%20one%20(1).gif" alt="Step one"></p>
<ul><li><input type="checkbox" checked> installed</li><li><input type="checkbox"> configured</li></ul>
<p>See <a href="other.html#part">the other page</a>.</p>
<noscript>Turn scripts on</noscript>
</body></html>
HTML
{
    echo '<!DOCTYPE html><html><head><meta charset="utf-8"><title>Harbour reopens after storm</title></head><body>'
    echo '<header><nav><a href="/">News</a> <a href="/sport">Sport</a> <a href="/weather">Weather</a></nav></header>'
    echo '<article><h1>Harbour reopens after storm</h1><p class="byline">By Jane Reporter</p>'
    for i in 1 2 3 4 5 6; do
        echo "<p>Paragraph $i: the harbour master said on Tuesday that the fishing fleet could sail again after three days in port, since the breakwater held and the channel markers were found where they belong. Crews spent the morning checking nets, engines and radios before the tide turned.</p>"
    done
    echo '</article><aside><a href="/ads">Advertisement</a></aside><footer><a href="/about">About us</a></footer></body></html>'
} >site/news.html
{
    echo '<!DOCTYPE html><html><head><title>Links</title></head><body><ul>'
    for i in $(seq 1 30); do echo "<li><a href=\"/page$i\">Page $i</a></li>"; done
    echo '</ul></body></html>'
} >site/links.html

mkfifo hold
python3 "$HERE/http_test_server.py" --root site --lifetime 110 <hold >port.txt &
SERVER_PID=$!
exec 3>hold
for _ in $(seq 100); do [ -s port.txt ] && break; sleep 0.1; done
PORT=$(cut -d' ' -f1 port.txt)
[ -n "$PORT" ] || fail "the test server did not start"
BASE="http://127.0.0.1:$PORT/files"
"$CLI" new site.vlt >/dev/null && "$CLI" add-category site.vlt Docs >/dev/null
"$CLI" capture "$BASE/docs.html" "$BASE/news.html" "$BASE/links.html" --into site.vlt --category Docs \
    --retries 0 --options opts.data >captured.txt || fail "capture: $(cat captured.txt)"
DOCS=$(awk -F'\t' '$3 == "docs.html" { print $1 }' captured.txt)
NEWS=$(awk -F'\t' '$3 == "news.html" { print $1 }' captured.txt)
LINKS=$(awk -F'\t' '$3 == "links.html" { print $1 }' captured.txt)
[ -n "$DOCS" ] && [ -n "$NEWS" ] && [ -n "$LINKS" ] || fail "captured: $(cat captured.txt)"

"$CLI" export-md site.vlt Docs site-md >out.txt || fail "export of the site: $(cat out.txt)"
check site-md --min files=3 --min headings=3 --min tables=1 --min fences=1 --min lang:python=1 --min images=2 \
    --min highlights=1 || fail "the captured site"
DOC=site-md/docs.html.md
[ -f "$DOC" ] || fail "no $DOC: $(ls site-md)"
python3 - "$DOC" "$PORT" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
port = sys.argv[2]
fm, body = text.split("\n---\n", 1)
for line in ['title: "docs.html"', 'source: "http://127.0.0.1:%s/files/docs.html"' % port, 'category: "Docs"',
             '  - text: "configure it carefully"', '    comment: "Read \\"this\\": first"', '    color: "yellow"',
             '    date: "2026-12-09T18:00:00Z"']:
    assert line in fm.split("\n"), (line, fm)
assert "captured: \"20" in fm, fm
assert "# Widget guide" in body and "## Options" in body, body
assert "| Name | Default |" in body and "10 \\| 12" in body and "~~red~~" in body, body
assert "```python" in body and "````" in body, "a fence longer than the ``` inside the code: " + body
assert "<mark>configure it carefully</mark>" in body, body
assert re.search(r"^- +\[x\] +installed$", body, re.M) and re.search(r"^- +\[ \] +configured$", body, re.M), body
assert "tracker" not in body and "font:" not in body and "Turn scripts on" not in body, body
assert "(http://127.0.0.1:%s/files/other.html#part)" % port in body, "a relative link made absolute: " + body
PY

# --- text and text --reader ---
"$CLI" text site.vlt "$DOCS" >docs.txt || fail "text of the docs page"
grep -q "Widget guide" docs.txt && grep -q "configure it carefully" docs.txt || fail "text: $(cat docs.txt)"
grep -q "tracker" docs.txt && fail "a script in the text: $(cat docs.txt)"
"$CLI" text site.vlt "$NEWS" --reader >news.txt 2>err.txt || fail "text --reader of the news page: $(cat err.txt)"
[ "$(head -1 news.txt)" = "Harbour reopens after storm" ] || fail "the article's title: $(head -3 news.txt)"
grep -q "Jane Reporter" news.txt && grep -q "^Paragraph 6: the harbour master" news.txt || fail "article: $(cat news.txt)"
grep -q "Advertisement\|Sport" news.txt && fail "the page around the article came along: $(cat news.txt)"
set +e
"$CLI" text site.vlt "$LINKS" --reader >links.txt 2>err.txt
rc=$?
set -e
[ "$rc" -eq 1 ] || fail "a page of links gives exit 1, not $rc"
grep -q "has no article" err.txt || fail "no article message: $(cat err.txt)"
[ -s links.txt ] && fail "a page without an article printed: $(cat links.txt)"
"$CLI" text site.vlt Docs >/dev/null 2>err.txt && fail "text of a category" || grep -q "is a category" err.txt
# An article kept without html, head or body tags is found all the same.
sed -n '/<article>/,/<\/article>/p' site/news.html >article.htm
"$CLI" new loose.vlt >/dev/null
LOOSE=$("$CLI" add-note loose.vlt '' 'loose article' --ext htm --content article.htm)
"$CLI" text loose.vlt "$LOOSE" --reader >loose.txt 2>err.txt || fail "a page without a body: $(cat err.txt)"
grep -q "^Paragraph 3: the harbour master" loose.txt || fail "a page without a body: $(cat loose.txt)"

# --- hostile and colliding names stay inside the export, each kept ---
"$CLI" new names.vlt >/dev/null
long=$(printf 'L%.0s' $(seq 1 300))
printf '<html><body><h1>x</h1></body></html>' >page.htm
printf 'plain *text*\n# not a heading\n' >note.txt
printf '%%PDF-1.4 fake' >file.pdf
# A page in UTF-16 with its mark, as some pages are kept.
printf '\xff\xfe' >utf16.htm
printf '<html><body><p>中文 text</p></body></html>' | iconv -f UTF-8 -t UTF-16LE >>utf16.htm
"$CLI" add-category names.vlt '..' >/dev/null
"$CLI" add-category names.vlt 'assets' >/dev/null
for name in '..' 'CON' 'con.txt' 'a:b*?<>|"\' ' .hidden' "$long" 'Same' 'same' 'SAME.' 'assets' 'x'; do
    "$CLI" add-note names.vlt '..' "$name" --ext htm --content page.htm >/dev/null || fail "add-note '$name'"
done
"$CLI" add-note names.vlt '' 'x' --ext pdf --content file.pdf >/dev/null
"$CLI" add-note names.vlt '' 'x.' --ext htm --content page.htm >/dev/null
"$CLI" add-note names.vlt '' 'x.md' --ext txt --content note.txt >/dev/null
"$CLI" add-note names.vlt '' 'wide' --ext htm --content utf16.htm >/dev/null
# A page without html, head or body tags, as written notes can be.
printf '<h2>Fragment</h2><p>loose words</p>' >fragment.htm
"$CLI" add-note names.vlt '' 'fragment' --ext htm --content fragment.htm >/dev/null
mkdir -p outer
"$CLI" export-md names.vlt / outer/md >out.txt || fail "export of hostile names: $(cat out.txt)"
[ "$(ls -A outer)" = md ] || fail "something written beside the export: $(ls -A outer)"
check outer/md --min files=16 || fail "hostile names"
[ "$(find outer/md -name '*.md' | wc -l)" -eq 16 ] || fail "a note lost: $(find outer/md | sort)"
[ -f outer/md/x.pdf ] && [ -f outer/md/x.md ] && grep -q '](x.pdf)' outer/md/x.md || fail "the file note: $(ls outer/md)"
[ ! -e outer/md/assets ] && [ -d "outer/md/assets (2)" ] && [ -d outer/md/untitled ] \
    || fail "the category named assets: $(ls outer/md)"
[ -f "outer/md/x (2).md" ] && [ -f "outer/md/x.md.md" ] || fail "colliding names: $(ls outer/md)"
grep -q '中文 text' outer/md/wide.md || fail "the UTF-16 page: $(cat outer/md/wide.md)"
grep -q '^## Fragment$' outer/md/fragment.md && grep -q '^loose words$' outer/md/fragment.md \
    || fail "a page without a body: $(cat outer/md/fragment.md)"
grep -q '^\\# not a heading' outer/md/x.md.md || fail "the text note: $(cat outer/md/x.md.md)"
find outer/md -name '.*' | grep -q . && fail "a hidden name: $(find outer/md -name '.*')"
find outer/md | awk -F/ '{ for (i = 1; i <= NF; i++) if (length($i) > 110) exit 1 }' || fail "a name too long"
[ "$(find outer/md -iname 'same*.md' | wc -l)" -eq 3 ] || fail "names that differ in case only: $(ls outer/md/*)"
find outer/md -iname 'con.md' | grep -q . && fail "a device name: $(ls outer/md/*)"

# --- an encrypted notebook reads with its passphrase, as the other reading commands do ---
cp site.vlt sealed.vlt
echo 'open sesame' >phrase.txt
"$CLI" encrypt sealed.vlt --passphrase-file phrase.txt >/dev/null || fail "encrypt"
"$CLI" export-md sealed.vlt Docs sealed-md >/dev/null 2>err.txt && fail "an encrypted notebook without its passphrase"
[ -e sealed-md ] && fail "a folder made for a notebook that could not be read"
"$CLI" export-md sealed.vlt Docs sealed-md --passphrase-file phrase.txt >/dev/null || fail "export-md with the passphrase"
cmp -s sealed-md/docs.html.md site-md/docs.html.md || fail "the encrypted notebook's export differs"
"$CLI" text sealed.vlt "$NEWS" --reader --passphrase-stdin <phrase.txt | grep -q "^Harbour reopens" \
    || fail "text --reader with the passphrase on standard input"

# --- refusals leave nothing behind ---
mkdir full && echo keep >full/mine.md
"$CLI" export-md names.vlt / full 2>err.txt && fail "export into a folder that is not empty"
grep -q "not empty" err.txt && [ "$(ls full)" = mine.md ] && [ "$(cat full/mine.md)" = keep ] || fail "$(cat err.txt)"
echo data >afile
"$CLI" export-md names.vlt / afile 2>err.txt && fail "export onto a file"
grep -q "is not a folder" err.txt || fail "$(cat err.txt)"
"$CLI" export-md names.vlt /nothing out-none 2>err.txt && fail "export of a missing category"
[ -e out-none ] && fail "a folder made for nothing"
PATH=/nonexistent "$CLI" export-md names.vlt / no-node 2>err.txt && fail "export without node"
grep -q "node is not installed" err.txt || fail "without node: $(cat err.txt)"
CLIPVAULT_JS_DIR=$WORK/nowhere "$CLI" text site.vlt "$NEWS" --reader 2>err.txt && fail "reader without its script"
grep -q "scripts are missing" err.txt || fail "without the scripts: $(cat err.txt)"
echo "markdown_cli_test: ok"
