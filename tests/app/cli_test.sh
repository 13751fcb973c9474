#!/usr/bin/env bash
# clipvault-cli end to end: every command against real files, checked through
# the JSON that dump prints. Usage: cli_test.sh PATH-TO-clipvault-cli
set -euo pipefail

CLI=$(realpath "$1")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

fail() { echo "FAIL: $*" >&2; exit 1; }

# expect CODE ARGS...: runs the tool, wants exit CODE; a failing run must say
# why in exactly one line on stderr. Its stdout is left in out.txt.
expect() {
    local want=$1 rc=0
    shift
    "$CLI" "$@" >out.txt 2>err.txt || rc=$?
    [ "$rc" -eq "$want" ] || fail "$* exited $rc, wanted $want; stderr: $(cat err.txt)"
    if [ "$want" -ne 0 ]; then
        [ "$(wc -l <err.txt)" -eq 1 ] || fail "$* wrote other than one line on stderr: $(cat err.txt)"
    fi
}

# pw_check FILE.vlt TEXT WANT: "no match" is an answer, not an error, so it
# comes on stdout alone.
pw_check() {
    local rc=0
    "$CLI" password "$1" --check "$2" >out.txt 2>err.txt || rc=$?
    [ "$(cat out.txt)" = "$3" ] && [ ! -s err.txt ] || fail "check '$2': $(cat out.txt) $(cat err.txt)"
    [ "$rc" -eq "$([ "$3" = match ] && echo 0 || echo 1)" ] || fail "check '$2' exited $rc"
}

# check FILE.vlt PYTHON: dumps the notebook and runs PYTHON with the JSON as
# `d`, the top category as `r` and helpers to walk it.
check() {
    "$CLI" "${@:3}" dump "$1" >dump.json
    python3 - "$2" <<'EOF'
import json, sys
d = json.load(open("dump.json"))
r = d["root"]
def cat(c, name): return next(x for x in c["categories"] if x["name"] == name)
def names(c): return sorted(x["name"] for x in c["notes"]) + sorted(x["name"] + "/" for x in c["categories"])
exec(sys.argv[1])
EOF
}

# ---- new and dump of an empty notebook
expect 0 new a.vlt
check a.vlt '
assert d["file_version"] == 2 and d["next_id"] == 1
assert d["password"] == {"set": False, "stored_length": 0}
assert d["reserved_1"] == "" and d["reserved_2"] == ""
assert r["notes"] == [] and r["categories"] == [] and d["attachments"] == []'
expect 1 new a.vlt
expect 0 new a.vlt --force
expect 1 new a.txt
[ ! -e a.txt ] || fail "new wrote a file without the .vlt extension"

# ---- building a tree, then renaming, moving and deleting in it
expect 0 add-category a.vlt Web
expect 0 add-category a.vlt /Web/News/
expect 0 add-category a.vlt Archive
printf 'hello page' >page.htm
expect 0 add-note a.vlt Web front --ext .htm --content page.htm --source http://example.org/
id_front=$(cat out.txt)
expect 0 add-note a.vlt / top
id_top=$(cat out.txt)
[ "$id_front" = 2 ] && [ "$id_top" = 3 ] || fail "note ids $id_front $id_top, wanted 2 3"
check a.vlt '
assert d["next_id"] == 3
assert names(r) == ["top", "Archive/", "Web/"]
n = cat(r, "Web")["notes"][0]
assert (n["id"], n["name"], n["ext"], n["source"], n["content_size"]) == (2, "front", "htm", "http://example.org/", 10)
assert n["content_type"] == 2 and n["source_kind"] == 3 and n["status"] == 0
import time
assert n["date_iso"] == time.strftime("%Y-%m-%d", time.localtime(n["date"]))
assert names(cat(r, "Web")) == ["front", "News/"]'

expect 0 rename a.vlt "$id_front" home
expect 0 rename a.vlt Web/News Today
expect 0 move a.vlt Web/Today Archive
expect 0 move a.vlt /top Web
check a.vlt '
assert names(cat(r, "Web")) == ["home", "top"]
assert names(cat(r, "Archive")) == ["Today/"]'

# a moved record whose name is taken in the target gets a unique one
expect 0 add-note a.vlt Archive top
expect 0 move a.vlt Web/top Archive
check a.vlt 'assert names(cat(r, "Archive")) == ["top", "top-1", "Today/"]'

expect 0 delete a.vlt Archive/top-1
expect 0 delete a.vlt Archive/Today
check a.vlt 'assert names(cat(r, "Archive")) == ["top"] and names(r) == ["Archive/", "Web/"]'

# a category goes with everything in it, and its notes keep their ids
expect 0 add-category a.vlt Web/Deep
expect 0 add-note a.vlt Web/Deep leaf
id_leaf=$(cat out.txt)
expect 0 move a.vlt Web/Deep Archive
check a.vlt "assert cat(cat(r, 'Archive'), 'Deep')['notes'][0]['id'] == $id_leaf"
expect 0 rename a.vlt "$id_leaf" leaf2
expect 0 delete a.vlt Archive/Deep
expect 1 rename a.vlt "$id_leaf" x

# digits are an id; a leading '/' makes them a path. A category wins over a
# note of the same name, and "--" lets a name start with dashes.
expect 0 add-category a.vlt 123
expect 1 rename a.vlt 123 Numbers
expect 0 rename a.vlt /123 Numbers
expect 0 add-note a.vlt / Numbers
expect 0 delete a.vlt Numbers
expect 0 add-note a.vlt / -- --dashed
check a.vlt 'assert names(r) == ["--dashed", "Numbers", "Archive/", "Web/"]'
expect 0 delete a.vlt /--dashed
expect 0 delete a.vlt /Numbers

# ---- refusals: one line, exit 1, notebook unchanged
cp a.vlt before.vlt
expect 1 add-category a.vlt Web                  # taken
expect 1 add-category a.vlt Missing/Child        # parents are not made
expect 1 add-note a.vlt Web home                 # taken
expect 1 add-note a.vlt Nowhere x
expect 1 rename a.vlt Web Archive                # taken by a sibling
expect 1 rename a.vlt 999 x                      # no such id
expect 1 rename a.vlt / x                        # the top category
expect 1 delete a.vlt Web/nothing
expect 1 move a.vlt Web Web                      # into itself
expect 0 add-category a.vlt Web/Inner
cp a.vlt before.vlt
expect 1 move a.vlt Web Web/Inner                # into its own subtree
expect 1 move a.vlt Web/home Nowhere
expect 1 add-note a.vlt Web x --content no-such-file
cmp -s a.vlt before.vlt || fail "a refused command changed the notebook"
expect 2 add-note a.vlt Web "a/b"
expect 2 rename a.vlt Web ""
expect 2 add-category a.vlt /
expect 2 add-note a.vlt Web x --colour red
expect 2 delete a.vlt

# ---- files that are not notebooks or not there
echo text >notes.txt
expect 1 dump notes.txt
expect 1 dump missing.vlt
expect 1 add-category missing.vlt X
mkdir dir.vlt
expect 1 dump dir.vlt
# A pipe or a device is refused at once, never waited on.
mkfifo pipe.vlt
ln -s /dev/zero zero.vlt
for f in pipe.vlt zero.vlt; do
    rc=0
    timeout 10 "$CLI" dump "$f" >out.txt 2>err.txt </dev/null || rc=$?
    [ "$rc" -eq 1 ] || fail "dump $f exited $rc (124: it hung); stderr: $(cat err.txt)"
    grep -q "not a regular file" err.txt || fail "dump $f: $(cat err.txt)"
done

# ---- a damaged notebook: dump prints what was read, changes are refused
size=$(stat -c %s a.vlt)
head -c $((size - 2)) a.vlt >cut.vlt
expect 3 dump cut.vlt
python3 -c 'import json; d = json.load(open("out.txt")); assert {c["name"] for c in d["root"]["categories"]} == {"Web", "Archive"}'
head -c $((size / 2)) a.vlt >half.vlt
expect 3 dump half.vlt
python3 -c 'import json; json.load(open("out.txt"))'
cp cut.vlt cut-before.vlt
expect 1 add-category cut.vlt New
cmp -s cut.vlt cut-before.vlt || fail "a damaged notebook was saved over"

# ---- password
pw_check a.vlt secret "no match"
pw_check a.vlt "" match
expect 0 password a.vlt --set secret
check a.vlt 'assert d["password"] == {"set": True, "stored_length": 6}'
pw_check a.vlt secret match
pw_check a.vlt Secret "no match"
pw_check a.vlt "" "no match"
# a locked notebook is changed only with its password (the block below)
expect 1 add-category a.vlt WhileLocked
printf 'secret\n' >a-pw
expect 0 password a.vlt --remove --password-file a-pw
check a.vlt 'assert d["password"] == {"set": False, "stored_length": 0}'
expect 2 password a.vlt --set x --remove
expect 2 password a.vlt

# ---- the lock: a locked notebook is read by anyone, changed only with its password
expect 0 new l.vlt
expect 0 add-category l.vlt Web
printf '<p>locked page</p>' >l.htm
expect 0 add-note l.vlt Web page --ext htm --content l.htm
id_l=$(cat out.txt)
expect 0 password l.vlt --set "Pässwort"
printf 'Pässwort\n' >pw-right
printf 'Pässwort\r\nsecond line\n' >pw-crlf
printf 'pässwort\n' >pw-wrong
: >pw-empty
cp l.vlt l-before.vlt
# Each changing command: refused without the password (naming the notebook as
# locked and the options), its own exit code for a wrong one, from a file or
# standard input alike; the file stays as it was.
changers=("add-category l.vlt New" "add-note l.vlt Web x" "rename l.vlt Web W2" "delete l.vlt Web/page"
    "move l.vlt Web/page /" "password l.vlt --set other" "password l.vlt --remove"
    "import l.htm --into l.vlt --options lock.data" "new l.vlt --force")
for c in "${changers[@]}"; do
    # shellcheck disable=SC2086
    expect 1 $c
    grep -q "^clipvault-cli: l.vlt is locked.*--password-file FILE or --password-stdin" err.txt \
        || fail "$c: the refusal does not say the notebook is locked and how to unlock it: $(cat err.txt)"
    expect 4 $c --password-file pw-wrong
    grep -q "password does not match" err.txt || fail "$c: $(cat err.txt)"
    printf 'nope\n' | expect 4 $c --password-stdin
    cmp -s l.vlt l-before.vlt || fail "$c changed the locked notebook without its password"
done
expect 4 rename l.vlt Web W2 --password-file pw-empty
expect 1 rename l.vlt Web W2 --password-file no-such-file
expect 2 rename l.vlt Web W2 --password-file pw-right --password-stdin
expect 2 rename l.vlt Web W2 --password-stdin --passphrase-stdin
expect 2 dump l.vlt --password-file pw-right      # reading needs no password: none is taken
cmp -s l.vlt l-before.vlt || fail "a refused command changed the locked notebook"
# Reading stays open, as in the window.
expect 0 dump l.vlt
expect 0 cat l.vlt "$id_l"
[ "$(cat out.txt)" = "<p>locked page</p>" ] || fail "cat of a locked notebook: $(cat out.txt)"
expect 0 export l.vlt "$id_l" l-out.htm
expect 0 search l.vlt locked --text --no-index
[ "$(cat out.txt)" = "$id_l	Web/page" ] || fail "search of a locked notebook: $(cat out.txt)"
pw_check l.vlt "Pässwort" match
cmp -s l.vlt l-before.vlt || fail "a reading command changed the locked notebook"
# With the password every change is made, and the notebook stays locked.
expect 0 add-category l.vlt New --password-file pw-right
expect 0 add-note l.vlt Web x --password-file pw-crlf
printf 'Pässwort\n' | expect 0 rename l.vlt Web/x y --password-stdin
expect 0 move l.vlt Web/y New --password-file pw-right
expect 0 delete l.vlt New/y --password-file pw-right
expect 0 import l.htm --into l.vlt --category New --options lock.data --password-file pw-right
check l.vlt 'assert names(r) == ["New/", "Web/"] and names(cat(r, "New")) == ["l.htm"]
assert d["password"] == {"set": True, "stored_length": 9}'
expect 0 password l.vlt --set other --password-file pw-right
pw_check l.vlt other match
printf 'other\n' | expect 0 password l.vlt --remove --password-stdin
expect 0 add-category l.vlt Open
expect 0 password l.vlt --set again
expect 0 new l.vlt --force --password-file <(printf 'again\n')
check l.vlt 'assert d["password"]["set"] is False and r["categories"] == []'

# ---- code pages: names are stored in the chosen one, shown as UTF-8
expect 0 --codepage CP1252 add-category a.vlt "café"
check a.vlt 'assert "café/" in names(r)' --codepage CP1252
check a.vlt 'assert "caf\\xE9/" in names(r)'   # not UTF-8: the byte is escaped
expect 0 --codepage CP1252 rename a.vlt "/café" "Ærø"
check a.vlt 'assert "Ærø/" in names(r)' --codepage CP1252
expect 2 --codepage CP1252 add-category a.vlt "日本"  # not in CP1252
expect 2 --codepage NO-SUCH-PAGE dump a.vlt
# a multi-byte code page: whole characters convert, a lone lead byte is escaped
expect 0 --codepage GBK add-category a.vlt "中文"
check a.vlt 'assert "中文/" in names(r)' --codepage GBK
expect 0 --codepage CP1252 add-category a.vlt "aé"
check a.vlt 'assert "a\\xE9/" in names(r)' --codepage GBK
# JSON escapes: quotes, backslashes and control characters survive the trip
odd=$(printf 'say "hi"\t\\ \001end')
expect 0 add-note a.vlt / "$odd"
check a.vlt 'assert "say \"hi\"\t\\ \x01end" in names(r)'

# ---- options
expect 0 options --file opts.data dump
python3 -c '
import json; o = json.load(open("out.txt"))
assert o["autosave_period_ms"] == 1800000 and o["dock_enabled"] is True
assert o["hot_key"] == {"enabled": True, "ctrl": True, "shift": True, "alt": False, "virtual_key": 122}
assert o["main_window"] == {"left": 0, "top": 0, "right": 0, "bottom": 0}
assert o["download"]["retries"] == 10 and o["download"]["proxy_user"] == ""
assert o["reader"] == {"theme": 0, "text_size": 2, "line_width": 1}'
expect 0 options --file opts.data set hot_key.ctrl=false main_window.left=-10 download.retries=3 \
    date_format=%d.%m.%Y download.proxy_user=me dock_enabled=0 max_download_workers=4294967295 reader.theme=2
expect 0 options --file opts.data dump
python3 -c '
import json; o = json.load(open("out.txt"))
assert o["hot_key"]["ctrl"] is False and o["main_window"]["left"] == -10
assert o["download"]["retries"] == 3 and o["download"]["proxy_user"] == "me"
assert o["date_format"] == "%d.%m.%Y" and o["dock_enabled"] is False
assert o["max_download_workers"] == 4294967295 and o["reader"]["theme"] == 2'
cp opts.data opts-before.data
expect 2 options --file opts.data set no_such_option=1
expect 2 options --file opts.data set hot_key.ctrl=2
expect 2 options --file opts.data set download.retries=4294967296
expect 2 options --file opts.data set main_window.top=2147483648
expect 2 options --file opts.data set dock_enabled=1 reserved
cmp -s opts.data opts-before.data || fail "a refused options set wrote the file"
# The largest file imported is an option; a file at the limit is refused,
# and the note says its size and the limit.
expect 0 options --file opts.data set download.max_file_bytes=1000
expect 0 options --file opts.data dump
python3 -c 'import json; assert json.load(open("out.txt"))["download"]["max_file_bytes"] == 1000'
head -c 1000 /dev/zero >big.bin
head -c 999 /dev/zero >fits.bin
rc=0; "$CLI" import big.bin fits.bin --into limit.vlt --options opts.data >out.txt 2>err.txt || rc=$?
[ "$rc" -eq 1 ] || fail "an import of a file at the limit exited $rc"
grep -q $'\tthe file has 1000 bytes; files of 1000 bytes or more are not imported' out.txt \
    || fail "the refused file does not say its size and the limit: $(cat out.txt)"
[ "$(grep -c $'\t0\tfits.bin\t' out.txt)" -eq 1 ] || fail "the file below the limit was not imported: $(cat out.txt)"
expect 0 options --file opts.data set download.max_file_bytes=10240000
head -c 10 opts.data >opts-cut.data
expect 1 options --file opts-cut.data dump
expect 2 options --file opts.data frob

# ---- search: the search form's scan, one "id<TAB>path/name" line per note
expect 0 new s.vlt
expect 0 add-category s.vlt Work
expect 0 add-category s.vlt Work/Old
printf 'quarterly Straße figures\n' >s1.txt
printf '<html><p>Sales up</p><script>var plan = 1;</script><p>see the Plan</p></html>' >s2.htm
printf '<html><title>x</title><p>nothing here</p></html>' >s3.htm
expect 0 add-note s.vlt Work/Old "Annual REPORT" --ext htm --content s3.htm; id_annual=$(cat out.txt)
expect 0 add-note s.vlt Work "report draft" --ext htm --content s2.htm; id_draft=$(cat out.txt)
expect 0 add-note s.vlt / Report --ext txt --content s1.txt; id_top=$(cat out.txt)
expect 0 add-note s.vlt Work/Old 42 --content s1.txt; id_42=$(cat out.txt)
# search_is WANT ARGS...: stdout is exactly the lines WANT, stderr is empty.
search_is() {
    local want=$1
    shift
    expect 0 search s.vlt "$@" --options "$WORK/search.data"
    [ "$(cat out.txt)" = "$want" ] && [ ! -s err.txt ] || fail "search $*: '$(cat out.txt)' $(cat err.txt)"
}
# By name, case kept: a note's own category comes before its subcategories.
search_is "$id_draft	Work/report draft" report
search_is "$id_top	/Report
$id_draft	Work/report draft
$id_annual	Work/Old/Annual REPORT" report --ignore-case
search_is "$id_42	Work/Old/42" 42
# By what a reader sees: a script's text is not the page's, the tags are not
# either; a note that is neither a page nor a text note has no text to search.
search_is "" --text plan
search_is "$id_draft	Work/report draft" --text Plan
search_is "" --text title
search_is "$id_draft	Work/report draft" --text --ignore-case PLAN
search_is "$id_top	/Report" --ignore-case STRASSE --text
search_is "" STRASSE --text
# A miss prints nothing and is no failure; the printed path names the note again.
search_is "" nowhere
expect 0 rename s.vlt "Work/Old/Annual REPORT" Annual
expect 0 rename s.vlt /Report Annex
search_is "$id_top	/Annex
$id_annual	Work/Old/Annual" --ignore-case ann
# Texts come from the notebook's index beside the options file; a notebook
# another command changed is indexed again before the next search.
ls "$WORK"/SearchIndex/*.idx >/dev/null || fail "the search kept no index beside its options file"
search_is "$id_top	/Annex" --text quarterly
printf '<p>the quarterly figures, late</p>' >s4.htm
expect 0 add-note s.vlt Work late --ext htm --content s4.htm; id_late=$(cat out.txt)
search_is "$id_top	/Annex
$id_late	Work/late" --text quarterly
search_is "$id_top	/Annex
$id_late	Work/late" --text QUARTERLY --ignore-case
expect 0 delete s.vlt Work/late
search_is "$id_top	/Annex" --text quarterly
search_is "$id_top	/Annex" --text quarterly --no-index
# An index file that is not one (cut short, overwritten) is built anew.
for f in "$WORK"/SearchIndex/*.idx; do printf 'not an index' >"$f"; done
search_is "$id_top	/Annex" --text quarterly
search_is "$id_top	/Annex" --text QUARTERLY --ignore-case
expect 2 search s.vlt
expect 2 search s.vlt ""
expect 2 search s.vlt x --regex
expect 1 search missing.vlt x
size=$(stat -c %s s.vlt)
head -c $((size - 2)) s.vlt >s-cut.vlt
expect 3 search s-cut.vlt a
grep -q damaged err.txt || fail "a damaged notebook's search does not say so: $(cat err.txt)"

# ---- highlights: one JSON object a line, read from the pages' own marks
expect 0 new h.vlt
expect 0 add-category h.vlt Read
mk() {  # ID COLOR COMMENT: a start tag as the program writes it
    printf '<mark class="cv-highlight cv-highlight-%s" style="background:#fff176" data-cv-highlight="%s" data-cv-color="%s" data-cv-date="2026-12-09T18:00:00Z" data-cv-comment="%s">' "$2" "$1" "$2" "$3"
}
{ printf '<html><body><p>First '; mk ha yellow 'see &quot;notes&quot; &lt;b&gt; caf&#233;'; printf 'words</mark></p><p>'
  mk hb blue ''; printf 'across</mark> <a href="x">'; mk hb blue ''; printf 'a link</mark></a></p></body></html>'; } >h1.htm
printf '<p>no marks here</p>' >h2.htm
expect 0 add-note h.vlt Read "marked page" --ext htm --content h1.htm; id_h1=$(cat out.txt)
expect 0 add-note h.vlt / plain --ext htm --content h2.htm
expect 0 highlights h.vlt
python3 -c '
import json, sys
rows = [json.loads(l) for l in open("out.txt")]
assert [r["id"] for r in rows] == ["ha", "hb"], rows
a, b = rows
assert a["note"] == int(sys.argv[1]) and a["path"] == "Read/marked page" and a["color"] == "yellow"
assert a["text"] == "words" and a["comment"] == "see \"notes\" <b> caf\u00e9", a
assert a["date"] == "2026-12-09T18:00:00Z"
assert b["text"] == "across a link" and b["comment"] == "" and b["color"] == "blue", b
' "$id_h1" || fail "highlights: $(cat out.txt)"
expect 0 highlights h.vlt "$id_h1"
[ "$(wc -l <out.txt)" -eq 2 ] || fail "highlights of one note: $(cat out.txt)"
expect 0 highlights h.vlt "$(( id_h1 + 1 ))"
[ ! -s out.txt ] || fail "a page without marks listed highlights: $(cat out.txt)"
# The search's text search finds a comment; the tags' other attributes are not text.
expect 0 search h.vlt --text notes --options "$WORK/search.data"
[ "$(cat out.txt)" = "$id_h1	Read/marked page" ] || fail "search did not find a comment: $(cat out.txt)"
expect 0 search h.vlt --text --no-index CAFÉ --ignore-case
[ "$(cat out.txt)" = "$id_h1	Read/marked page" ] || fail "search without the index: $(cat out.txt)"
expect 0 search h.vlt --text cv-highlight --options "$WORK/search.data"
[ ! -s out.txt ] || fail "search found the mark's attributes: $(cat out.txt)"
expect 2 highlights
expect 2 highlights h.vlt Read
expect 2 highlights h.vlt 1 2
expect 1 highlights h.vlt 99999
expect 1 highlights missing.vlt
size=$(stat -c %s h.vlt)
head -c $((size - 2)) h.vlt >h-cut.vlt
expect 3 highlights h-cut.vlt

# ---- scan
printf '<html><TITLE>Scan Me</TITLE><IMG SRC="Pics/A.GIF"><a href=#x>x</a><a href="b.htm?q=1">b</a>\n' >page.htm
expect 0 scan page.htm --base https://host:8443/dir/index.htm
python3 -c '
import json
lines = [json.loads(l) for l in open("out.txt")]
assert lines[-1] == {"title": "scan me"}, lines[-1]
items = lines[:-1]
assert [i["url"] for i in items] == ["https://host:8443/dir/Pics/A.GIF", "https://host:8443/dir/b.htm"], items
assert items[0]["kind"] == 0 and items[0]["raw"] == "Pics/A.GIF" and items[0]["value"] == "pics/a.gif"
assert items[1]["kind"] == 1 and items[1]["raw"] == "b.htm?q=1"
page = open("page.htm").read()
assert all(page[i["offset"]:i["offset"] + i["length"]] == i["raw"] for i in items)'
expect 0 scan page.htm --local
python3 -c '
import json
first = json.loads(open("out.txt").readline())
assert first["url"].startswith("file:///") and first["url"].endswith("/Pics/A.GIF"), first'
expect 2 scan page.htm
expect 1 scan missing.htm --base http://h/

# ---- working files: in a private folder of the run's own, never the shared one
mkdir -p shared
printf '<html><img src="pic.gif"><p>page</p></html>' >pg.htm
printf 'GIF89a' >pic.gif
expect 0 import pg.htm --into w.vlt --options opts.data
# What another user could plant in a shared temporary folder at the names a
# notebook "w" would use there, and another program's own file.
ln -s "$WORK/victim-folder" shared/vltw0_files
mkdir shared/vltw1_files
ln -s "$WORK/victim.gif" shared/vltw1_files/vltpic.gif
touch shared/vltother.htm
TMPDIR="$WORK/shared" "$CLI" open w.vlt 2 >out.txt 2>err.txt || fail "open: $(cat err.txt)"
copy=$(cat out.txt)
case "$copy" in "$WORK/shared/clipvault-"*/vltw0_files/vlt*.htm) ;; *) fail "working copy outside a private folder: $copy" ;; esac
root=${copy%/vltw0_files/*}
[ "$(stat -c %a "$root")" = 700 ] || fail "the private folder is open to others: $(stat -c %a "$root")"
[ -f "$copy" ] && [ -f "$(dirname "$copy")/vltpic.gif" ] || fail "the working copy's files are missing"
[ ! -e "$WORK/victim-folder" ] && [ ! -e "$WORK/victim.gif" ] || fail "a planted link was followed"
[ -L shared/vltw0_files ] && [ -L shared/vltw1_files/vltpic.gif ] && [ -e shared/vltother.htm ] \
    || fail "entries of the shared folder were touched"
# Export and import leave nothing in the temporary folder.
rm -rf "$root"
TMPDIR="$WORK/shared" expect 0 export w.vlt 2 exported.htm
TMPDIR="$WORK/shared" expect 0 import pg.htm --into w.vlt --options opts.data
[ -z "$(find shared -maxdepth 1 -name 'clipvault-*')" ] || fail "a private folder was left behind: $(ls shared)"
# No private folder can be made: the command says so and writes nothing.
TMPDIR="$WORK/no-such-folder" expect 1 open w.vlt 2
grep -q "no-such-folder" err.txt || fail "the failure does not name the folder: $(cat err.txt)"
[ ! -e "$WORK/no-such-folder" ] || fail "the missing temporary folder was made"

# ---- encryption: nothing of the notes on disk, every command through the passphrase
# (each key derivation takes about a second, so the runs that derive one are few)
no_marker() {  # FILE: neither a name nor a page text of the notebook is in it
    if strings -a "$1" | grep -q MARKER || grep -qa MARKER "$1"; then fail "$1 holds a marker in plain"; fi
}
sealed() { [ "$(head -c 9 "$1")" = CVLTCRYPT ] || fail "$1 is not encrypted"; }
expect 0 new e.vlt
expect 0 add-category e.vlt Secret
printf '<p>MARKERWORD kept private</p>' >e.htm
expect 0 add-note e.vlt Secret MARKERNAME --ext htm --content e.htm
id_e=$(cat out.txt)
# Indexes of the plain notebook beside two options files: encrypt deletes the
# one beside its own, an encrypted search the one beside the other.
search_idx() { ls -A "$WORK/$1/SearchIndex" 2>/dev/null | grep -c . || true; }
expect 0 search e.vlt MARKERWORD --text --options "$WORK/eo1/opts.data"
expect 0 search e.vlt MARKERWORD --text --options "$WORK/eo2/opts.data"
[ "$(search_idx eo1)" -gt 0 ] && [ "$(search_idx eo2)" -gt 0 ] || fail "the plain notebook was not indexed"
printf 'correct horse\n' >pp
printf 'wrong horse\n' >pp-wrong
printf 'new battery \xc3\xbc\n' >pp-new
: >pp-empty
expect 2 encrypt e.vlt
expect 2 encrypt e.vlt --passphrase-file pp-empty
expect 2 encrypt e.vlt --passphrase-file pp --new-passphrase-file pp-new   # not encrypted yet
expect 0 encrypt e.vlt --passphrase-file pp --options "$WORK/eo2/opts.data"
sealed e.vlt
no_marker e.vlt
[ "$(search_idx eo2)" -eq 0 ] || fail "encrypt left the notebook's search index"
# Without the passphrase every command is refused, and nothing of the notebook is printed.
TMPDIR="$WORK/shared"
export TMPDIR
for c in "dump e.vlt" "cat e.vlt $id_e" "search e.vlt MARKER" "open e.vlt $id_e" "export e.vlt $id_e e-out.htm" \
    "highlights e.vlt" "add-category e.vlt X" "decrypt e.vlt" "password e.vlt --check x"; do
    # shellcheck disable=SC2086
    expect 1 $c
    grep -q "^clipvault-cli: e.vlt is an encrypted notebook; give its passphrase with --passphrase-file FILE or --passphrase-stdin$" err.txt \
        || fail "$c: $(cat err.txt)"
    [ ! -s out.txt ] || fail "$c printed something of an encrypted notebook: $(cat out.txt)"
done
unset TMPDIR
[ ! -e e-out.htm ] || fail "export wrote a note of an encrypted notebook without its passphrase"
expect 2 encrypt e.vlt --passphrase-file pp                        # already encrypted: the new one?
expect 2 dump e.vlt --passphrase-file pp-empty
expect 2 add-category e.vlt X --passphrase-stdin --password-stdin  # one standard input
cp e.vlt e-before.vlt
expect 5 add-category e.vlt X --passphrase-file pp-wrong
grep -q "passphrase does not fit" err.txt || fail "wrong passphrase: $(cat err.txt)"
cmp -s e.vlt e-before.vlt || fail "a wrong passphrase changed the notebook"
# Changes keep it encrypted.
expect 0 add-note e.vlt Secret second --ext htm --content e.htm --passphrase-file pp
id_e2=$(cat out.txt)
expect 0 rename e.vlt "$id_e2" MARKERTWO --passphrase-file pp
sealed e.vlt
no_marker e.vlt
printf 'correct horse\n' | expect 0 dump e.vlt --passphrase-stdin
cp out.txt e-sealed.json
check_json() { python3 -c "import json, sys; d = json.load(open('$1')); r = d['root']; $2"; }
check_json e-sealed.json 'assert d["encrypted"] is True
assert sorted(n["name"] for n in r["categories"][0]["notes"]) == ["MARKERNAME", "MARKERTWO"]'
expect 0 highlights e.vlt --passphrase-file pp
expect 0 cat e.vlt "$id_e" --passphrase-file pp
[ "$(cat out.txt)" = "<p>MARKERWORD kept private</p>" ] || fail "cat of an encrypted note: $(cat out.txt)"
# search reads page by page, keeps no index, and drops the one of the plain notebook.
expect 0 search e.vlt MARKERWORD --text --passphrase-file pp --options "$WORK/eo1/opts.data"
[ "$(sort out.txt)" = "$id_e	Secret/MARKERNAME
$id_e2	Secret/MARKERTWO" ] || fail "search of an encrypted notebook: $(cat out.txt)"
[ "$(search_idx eo1)" -eq 0 ] || fail "search kept an index of an encrypted notebook: $(ls "$WORK/eo1/SearchIndex")"
# open writes the working copy the user asked for, and warns that it is plain.
TMPDIR="$WORK/shared" expect 0 open e.vlt "$id_e" --passphrase-file pp
grep -q "warning: e.vlt is encrypted, but its working copy is plain" err.txt || fail "open: $(cat err.txt)"
rm -rf "$(dirname "$(dirname "$(cat out.txt)")")"
# A new notebook filled with a passphrase is encrypted from its first save.
expect 0 import e.htm --into e-new.vlt --options lock.data --passphrase-file pp
sealed e-new.vlt
no_marker e-new.vlt
# A changed passphrase: the old one no longer fits.
expect 0 encrypt e.vlt --passphrase-file pp --new-passphrase-file pp-new
sealed e.vlt
expect 5 dump e.vlt --passphrase-file pp
[ ! -s out.txt ] || fail "a wrong passphrase printed something"
# The same words open it whatever code page the names are read in.
expect 0 --codepage CP1252 dump e.vlt --passphrase-file pp-new
# One changed byte in the middle, or a cut, is damage: exit 3, nothing read,
# the file left as it is.
cp e.vlt e-flip.vlt
python3 -c '
import sys
b = bytearray(open("e-flip.vlt", "rb").read()); b[len(b) // 2] ^= 0x40
open("e-flip.vlt", "wb").write(b)'
cp e-flip.vlt e-flip-before.vlt
expect 3 add-category e-flip.vlt X --passphrase-file pp-new
[ ! -s out.txt ] && cmp -s e-flip.vlt e-flip-before.vlt || fail "a damaged encrypted notebook was changed"
head -c $(($(stat -c %s e.vlt) - 40)) e.vlt >e-cut.vlt
expect 3 dump e-cut.vlt --passphrase-file pp-new
[ ! -s out.txt ] || fail "a cut encrypted notebook printed something"
# decrypt gives back the same notebook, plain.
expect 0 decrypt e.vlt --passphrase-file pp-new
[ "$(head -c 9 e.vlt)" != CVLTCRYPT ] || fail "decrypt left the notebook encrypted"
expect 0 dump e.vlt
python3 -c '
import json
a = json.load(open("e-sealed.json")); b = json.load(open("out.txt"))
assert a.pop("encrypted") is True and b.pop("encrypted") is False
assert a == b, (a, b)'

echo "cli_test: all passed"
