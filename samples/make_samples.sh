#!/bin/sh
# Builds the sample notebooks that the start dialog offers on a first run.
#
#   make_samples.sh CLIPVAULT-CLI OUTPUT-FOLDER
#
# Every folder of src/ with a contents.txt becomes one notebook, made only
# with clipvault-cli from the local files beside that list, so the samples are
# ordinary notebooks filled the way a user would fill them. A notebook is
# written under a temporary name and moved into place when it is complete: a
# failed run never leaves half a sample behind.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 CLIPVAULT-CLI OUTPUT-FOLDER" >&2
    exit 2
fi
cli=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/clipvault-samples.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
# A settings file that does not exist gives the defaults, which keep the
# images and stylesheets of imported pages, whatever the builder's own
# settings say.
options="$work/no-settings/AppOption.data"

mkdir -p "$out"

# The text of a page's <title>, with its letter case: the import names a note
# after a lower-cased title, so each imported page is renamed afterwards.
page_title() {
    tr '\n' ' ' <"$1" | sed -n 's:.*<[Tt][Ii][Tt][Ll][Ee][^>]*>\([^<]*\)</[Tt][Ii][Tt][Ll][Ee]>.*:\1:p'
}

make_notebook() {
    dir=$1
    name=
    vlt=
    while IFS='|' read -r what a b c; do
        case $what in
        '' | '#'*) continue ;;
        notebook)
            name=$a
            vlt="$work/$name.vlt"
            "$cli" new "$vlt" --force
            ;;
        category)
            "$cli" add-category "$vlt" "$a"
            ;;
        import)
            # One file per call, so that notes are numbered in list order.
            line=$("$cli" import "$dir/$b" --into "$vlt" --category "$a" --options "$options")
            id=${line%%"	"*}
            rest=${line#*"	"}
            status=${rest%%"	"*}
            rest=${rest#*"	"}
            got=${rest%%"	"*}
            if [ "$status" != 0 ]; then
                echo "$0: $dir/$b was not taken in: $line" >&2
                return 1
            fi
            want=$c
            if [ -z "$want" ]; then
                want=$(page_title "$dir/$b")
                if [ -z "$want" ]; then
                    echo "$0: $dir/$b has no <title>" >&2
                    return 1
                fi
            fi
            # Renaming a note to the name it has already is refused as a clash.
            if [ "$got" != "$want" ]; then
                "$cli" rename "$vlt" "$id" "$want"
            fi
            ;;
        write)
            "$cli" add-note "$vlt" "$a" "$c" --ext "${b##*.}" --content "$dir/$b" >/dev/null
            ;;
        *)
            echo "$0: $dir/contents.txt: unknown line '$what|$a|$b|$c'" >&2
            return 1
            ;;
        esac
    done <"$dir/contents.txt"
    if [ -z "$name" ]; then
        echo "$0: $dir/contents.txt names no notebook" >&2
        return 1
    fi
    mv -f "$vlt" "$out/$name.vlt"
}

for list in "$here"/src/*/contents.txt; do
    make_notebook "$(dirname "$list")"
done
