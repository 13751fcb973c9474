#!/bin/bash
# Regenerates every image of the two language modules: the toolbar strips,
# the tree and list images, the program icon, the tip header and the two
# splash screens.
#
# Needs ImageMagick (convert), python3, the Tango icon theme
# (tango-icon-theme) and the DejaVu and WenQuanYi Micro Hei fonts
# (fonts-dejavu-core, fonts-wqy-microhei). The results are committed, so the
# build never runs this script; run it after changing a toolbar's items or a
# drawing:   Language/tools/make_images.sh
#
# Toolbar strips follow Language/common/toolbars/<id>.json: one 16x16 image
# per non-zero item, in item order. Which picture a command gets is decided
# in icon_for below; commands keep the same picture on every toolbar because
# the menus borrow it from whichever toolbar shows the command first.
set -euo pipefail

HERE=$(cd "$(dirname "$0")/.." && pwd)
TANGO=${TANGO:-/usr/share/icons/Tango/16x16}
SANS=DejaVu-Sans
SANS_BOLD=DejaVu-Sans-Bold
CJK=${CJK_FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

for f in "$TANGO/actions/document-open.png" "$CJK"; do
    [ -e "$f" ] || { echo "make_images.sh: missing $f" >&2; exit 1; }
done

# Deterministic RGBA PNGs: no time stamps, no colour-type guessing.
# The last argument is the output file.
out() {
    local n=$#
    convert "${@:1:n-1}" -strip -define png:exclude-chunks=date,time "${!n}"
}
png() { echo "PNG32:$1"; }

# Tango palette.
BLUE1='#729fcf'; BLUE2='#3465a4'; BLUE3='#204a87'
BUTTER1='#fce94f'; BUTTER2='#edd400'; BUTTER3='#c4a000'
ALU2='#d3d7cf'; ALU4='#888a85'; ALU5='#555753'; ALU6='#2e3436'
RED2='#cc0000'; CHOC3='#8f5902'; ORANGE2='#f57900'

# ---------------------------------------------------------------- drawings
# Everything below that is not a Tango file is drawn here for Clipvault.

# The emblem: a blue notebook with a vault dial on its cover and a paper
# clip over its top edge. Drawn large and scaled, so every size is smooth.
draw_emblem() { # size output
    local big="$WORK/emblem-256.png"
    if [ ! -e "$big" ]; then
        out -size 256x256 xc:none \
            -fill '#fafafa' -stroke "$ALU4" -strokewidth 5 -draw 'roundrectangle 64,46 230,240 14,14' \
            -stroke "$ALU2" -strokewidth 3 -draw 'line 214,62 214,226' -draw 'line 222,70 222,232' \
            -fill "$BLUE2" -stroke "$BLUE3" -strokewidth 8 -draw 'roundrectangle 24,24 210,230 18,18' \
            -fill "$BLUE3" -stroke none -draw 'roundrectangle 28,28 66,226 14,14' \
            -fill "$BLUE1" -draw 'rectangle 72,34 78,220' \
            -fill "$BUTTER2" -stroke "$BUTTER3" -strokewidth 8 -draw 'circle 132,150 132,96' \
            -fill "$BUTTER1" -stroke none -draw 'circle 132,150 132,118' \
            -stroke "$CHOC3" -strokewidth 6 \
            -draw 'line 132,100 132,110' -draw 'line 132,190 132,200' \
            -draw 'line 82,150 92,150' -draw 'line 172,150 182,150' \
            -stroke "$ALU6" -strokewidth 12 -draw 'line 132,150 152,130' \
            -fill "$ALU6" -stroke none -draw 'circle 132,150 132,140' \
            -fill none -stroke "$ALU5" -strokewidth 14 \
            -draw 'path "M 186,8 L 186,96 A 22,22 0 0 1 142,96 L 142,26 A 13,13 0 0 1 168,26 L 168,84"' \
            -stroke '#eeeeec' -strokewidth 5 \
            -draw 'path "M 186,8 L 186,96 A 22,22 0 0 1 142,96 L 142,26 A 13,13 0 0 1 168,26 L 168,84"' \
            "$(png "$big")"
    fi
    out "$big" -filter Lanczos -resize "$1x$1" "$(png "$2")"
}

# The emblem at 16x16 is drawn pixel by pixel: scaled down, the clip and the
# dial blur into the cover.
draw_emblem_16() {
    out -size 16x16 xc:none +antialias \
        -fill '#fafafa' -stroke "$ALU4" -draw 'rectangle 4,3 14,15' \
        -fill "$BLUE2" -stroke "$BLUE3" -draw 'roundrectangle 1,2 12,14 1,1' \
        -fill "$BLUE3" -stroke none -draw 'rectangle 2,3 3,13' \
        -fill "$BUTTER2" -stroke "$BUTTER3" -draw 'circle 7,9 7,6' \
        -fill "$ALU6" -stroke none -draw 'point 7,9' -draw 'point 8,8' \
        -fill "$ALU5" -stroke "$ALU5" -draw 'line 9,0 9,4' -draw 'line 11,0 11,5' -draw 'point 10,5' \
        -fill '#eeeeec' -stroke none -draw 'point 10,0' \
        "$(png "$1")"
}

# Light bulb for the tip-of-the-day header, 48x48.
draw_bulb() {
    out -size 192x192 xc:none \
        -fill '#fce94f55' -stroke none -draw 'circle 96,78 96,4' \
        -fill "$BUTTER1" -stroke "$BUTTER3" -strokewidth 7 \
        -draw 'path "M 70,124 C 30,100 36,28 96,26 C 156,28 162,100 122,124 L 118,142 L 74,142 Z"' \
        -fill none -stroke "$ORANGE2" -strokewidth 5 \
        -draw 'polyline 80,124 84,84 92,100 100,84 108,100 112,84' \
        -fill '#ffffffcc' -stroke none -draw 'ellipse 70,62 12,20 0,360' \
        -fill "$ALU2" -stroke "$ALU4" -strokewidth 5 -draw 'roundrectangle 72,142 120,174 6,6' \
        -stroke "$ALU4" -strokewidth 4 -draw 'line 74,153 118,153' -draw 'line 74,163 118,163' \
        -fill "$ALU5" -stroke none -draw 'roundrectangle 84,172 108,186 6,6' \
        -filter Lanczos -resize 48x48 "$(png "$1")"
}

# Splash screen, 420x260: emblem, name and a tag line in the module's
# language (two lines of tag line; $3 is the font for them).
draw_splash() { # output line1 line2 font
    draw_emblem 150 "$WORK/emblem-150.png"
    out -size 420x260 gradient:'#3465a4-#17325e' \
        -fill '#ffffff14' -stroke none -draw 'circle 105,128 105,30' \
        "$WORK/emblem-150.png" -geometry +30+52 -composite \
        -fill white -font "$SANS_BOLD" -pointsize 40 -annotate +196+118 'Clipvault' \
        -fill "$BUTTER2" -stroke none -draw 'rectangle 198,132 396,134' \
        -fill '#dce6f2' -font "$4" -pointsize 14 -annotate +198+162 "$2" -annotate +198+184 "$3" \
        "$(png "$1")"
}

# 16x16 glyph drawings, in the blue of Tango's text-format pictures.
draw_font_size() {
    out -size 16x16 xc:none -fill "$BLUE3" -font "$SANS_BOLD" \
        -pointsize 14 -annotate +0+14 'A' -pointsize 8 -annotate +10+14 'A' "$(png "$1")"
}
draw_paragraph_style() {
    out -size 16x16 xc:none -fill "$BLUE3" -font "$SANS_BOLD" -pointsize 14 -gravity center \
        -annotate +0+1 '¶' "$(png "$1")"
}
draw_text_colour() {
    out -size 16x16 xc:none -fill "$ALU6" -font "$SANS_BOLD" -pointsize 13 -gravity north \
        -annotate +0-2 'A' -gravity none \
        -fill "$RED2" -stroke '#a40000' -strokewidth 1 -draw 'rectangle 1,12 14,15' "$(png "$1")"
}
# Lists: three rows of a marker and a text line.
draw_list() { # output bulleted|numbered
    local args=(-size 16x16 xc:none +antialias -stroke none)
    local y
    for y in 2 7 12; do
        args+=(-fill "$ALU4" -draw "rectangle 6,$((y + 1)) 15,$((y + 2))")
    done
    if [ "$2" = bulleted ]; then
        for y in 2 7 12; do args+=(-fill "$BLUE3" -draw "rectangle 1,$y 3,$((y + 2))" -fill "$BLUE1" -draw "point 1,$y"); done
    else
        # 1, 2 and 3 as 3x4 pixel digits
        args+=(-fill "$BLUE3"
               -draw 'line 2,1 2,4' -draw 'point 1,2'
               -draw 'line 1,6 3,6' -draw 'point 3,7' -draw 'point 2,8' -draw 'line 1,9 3,9'
               -draw 'line 1,11 3,11' -draw 'point 3,12' -draw 'point 2,12' -draw 'point 3,13' -draw 'line 1,14 3,14')
    fi
    out "${args[@]}" "$(png "$1")"
}
# Two chain links for hyperlinks.
draw_link() {
    out -size 64x64 xc:none -fill none \
        -stroke "$ALU5" -strokewidth 12 -draw 'roundrectangle 4,22 38,42 10,10' \
        -stroke "$BLUE2" -strokewidth 12 -draw 'roundrectangle 26,22 60,42 10,10' \
        -stroke "$ALU5" -strokewidth 12 -draw 'line 26,22 38,22' \
        -filter Lanczos -resize 16x16 "$(png "$1")"
}
# A small table: header row and grid.
draw_table() {
    out -size 16x16 xc:none +antialias \
        -fill white -stroke "$ALU5" -draw 'rectangle 0,2 15,14' \
        -fill "$BLUE1" -stroke "$ALU5" -draw 'rectangle 0,2 15,5' \
        -stroke "$ALU4" -draw 'line 1,9 14,9' -draw 'line 5,6 5,13' -draw 'line 10,6 10,13' \
        -stroke "$ALU5" -draw 'line 5,2 5,5' -draw 'line 10,2 10,5' "$(png "$1")"
}
# The reader view: an open page with a heading and lines of text, no frame.
draw_reader() {
    out -size 16x16 xc:none +antialias \
        -fill white -stroke "$ALU5" -draw 'rectangle 2,0 13,15' \
        -stroke none -fill "$ALU6" -draw 'rectangle 4,2 11,3' \
        -fill "$ALU4" -draw 'rectangle 4,6 11,6' -draw 'rectangle 4,8 11,8' \
        -draw 'rectangle 4,10 11,10' -draw 'rectangle 4,12 9,12' "$(png "$1")"
}

# Tango picture with a smaller Tango picture in its lower right corner.
badge() { # base badge size output
    out "$1" \( "$2" -filter Lanczos -resize "$3x$3" \) -gravity southeast -geometry +0+0 -composite "$(png "$4")"
}

# ------------------------------------------------------------ command map
icon_for() { # command id -> picture file
    local a="$TANGO/actions" m="$TANGO/mimetypes" ap="$TANGO/apps" p="$TANGO/places" s="$TANGO/status"
    case "$1" in
    57600) echo "$WORK/new-notebook.png" ;;
    57601) echo "$a/document-open.png" ;;
    57603) echo "$a/document-save.png" ;;
    32780) echo "$WORK/import.png" ;;
    32776) echo "$a/folder-new.png" ;;
    32778) echo "$a/document-new.png" ;;
    32777) echo "$a/edit-delete.png" ;;
    32803) echo "$a/edit-cut.png" ;;
    32804) echo "$a/edit-copy.png" ;;
    32805) echo "$a/edit-paste.png" ;;
    32806) echo "$a/edit-undo.png" ;;
    32807) echo "$a/edit-redo.png" ;;
    32802) echo "$a/edit-find.png" ;;
    32813) echo "$a/document-print.png" ;;
    33006) echo "$TANGO/categories/preferences-system.png" ;;
    57670) echo "$ap/help-browser.png" ;;
    33124) echo "$a/go-previous.png" ;;
    33125) echo "$a/go-next.png" ;;
    33127) echo "$a/go-up.png" ;;
    33126) echo "$a/go-down.png" ;;
    33120) echo "$ap/internet-web-browser.png" ;;
    33121) echo "$ap/accessories-text-editor.png" ;;
    33129) echo "$a/go-jump.png" ;;
    33133) echo "$a/process-stop.png" ;;
    33134) echo "$a/view-refresh.png" ;;
    33096) echo "$a/media-playback-start.png" ;;
    33095) echo "$a/media-playback-pause.png" ;;
    33097) echo "$a/media-playback-stop.png" ;;
    33083) echo "$a/document-properties.png" ;;
    33008) echo "$a/mail-forward.png" ;;
    33014) echo "$a/view-fullscreen.png" ;;
    32823) echo "$ap/preferences-desktop-font.png" ;;
    32824) echo "$WORK/font-size.png" ;;
    32946) echo "$WORK/paragraph-style.png" ;;
    32821) echo "$a/format-text-bold.png" ;;
    32825) echo "$a/format-text-italic.png" ;;
    32826) echo "$a/format-text-underline.png" ;;
    32945) echo "$WORK/text-colour.png" ;;
    32828) echo "$a/format-justify-left.png" ;;
    32827) echo "$a/format-justify-center.png" ;;
    32829) echo "$a/format-justify-right.png" ;;
    32834) echo "$WORK/list-numbered.png" ;;
    32831) echo "$WORK/list-bulleted.png" ;;
    32832) echo "$a/format-indent-less.png" ;;
    32833) echo "$a/format-indent-more.png" ;;
    32836) echo "$WORK/link.png" ;;
    32838) echo "$m/image-x-generic.png" ;;
    32841) echo "$WORK/table.png" ;;
    32868) echo "$ap/date.png" ;;
    34650) echo "$WORK/reader.png" ;;
    *) echo "make_images.sh: no picture for command $1" >&2; return 1 ;;
    esac
}

# ---------------------------------------------------------------- build
draw_emblem_16 "$WORK/notebook.png"
# The new-notebook picture: the notebook with Tango's "new" star.
out "$WORK/notebook.png" \( "$TANGO/actions/document-new.png" -crop 9x9+7+0 +repage \) \
    -geometry +7+0 -composite "$(png "$WORK/new-notebook.png")"
badge "$TANGO/apps/internet-web-browser.png" "$TANGO/actions/go-bottom.png" 11 "$WORK/import.png"
draw_font_size "$WORK/font-size.png"
draw_paragraph_style "$WORK/paragraph-style.png"
draw_text_colour "$WORK/text-colour.png"
draw_list "$WORK/list-numbered.png" numbered
draw_list "$WORK/list-bulleted.png" bulleted
draw_link "$WORK/link.png"
draw_table "$WORK/table.png"
draw_reader "$WORK/reader.png"

toolbar_items() { # json -> non-zero ids, one a line
    python3 -c 'import json,sys
for i in json.load(open(sys.argv[1]))["items"]:
    if i: print(i)' "$1"
}

for json in "$HERE"/common/toolbars/*.json; do
    id=$(basename "$json" .json)
    files=()
    while read -r cmd; do files+=("$(icon_for "$cmd")"); done < <(toolbar_items "$json")
    out "${files[@]}" -background none +append "$(png "$HERE/common/bitmaps/$id.png")"
done

# Tree and list images 0..11: notebook, category closed and open, note kept
# as a link, note held in the notebook, recent-notes group, day group,
# downloads group, running, queued, failed, waiting.
badge "$TANGO/mimetypes/text-x-generic.png" "$TANGO/actions/go-jump.png" 10 "$WORK/note-link.png"
badge "$TANGO/places/folder.png" "$TANGO/actions/appointment.png" 10 "$WORK/recent.png"
badge "$TANGO/places/folder.png" "$TANGO/actions/go-bottom.png" 10 "$WORK/downloads.png"
out "$WORK/notebook.png" "$TANGO/places/folder.png" "$TANGO/status/folder-open.png" \
    "$WORK/note-link.png" "$TANGO/mimetypes/text-x-generic.png" "$WORK/recent.png" \
    "$TANGO/mimetypes/x-office-calendar.png" "$WORK/downloads.png" "$TANGO/actions/go-bottom.png" \
    "$TANGO/actions/appointment.png" "$TANGO/status/dialog-error.png" "$TANGO/actions/media-playback-pause.png" \
    -background none +append "$(png "$HERE/common/bitmaps/237.png")"

draw_bulb "$HERE/common/bitmaps/104.png"
draw_emblem 64 "$HERE/common/icons/233.png"
draw_emblem 32 "$HERE/common/icons/233-32.png"
draw_emblem_16 "$HERE/common/icons/233-16.png"

draw_splash "$HERE/Eng/bitmaps/103.png" 'Web pages, files and notes,' 'kept safe in your notebooks' "$SANS"
draw_splash "$HERE/Chn/bitmaps/103.png" '网页、文件与笔记，' '妥善收藏在您的笔记本中' "$CJK"

echo "make_images.sh: images written under $HERE"
