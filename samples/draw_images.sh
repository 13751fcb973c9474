#!/bin/sh
# Draws the pictures of the sample notebooks with ImageMagick. The results are
# kept in the repository beside the pages, so the build does not need
# ImageMagick; run this again only to change a picture.
# Labels are set in DejaVu Sans (free licence, Bitstream Vera terms).
#
# Only .gif and .jpg are used: those are types the page import keeps as
# attachments.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
gs="$here/src/getting-started"
rt="$here/src/recipes-travel"
font=DejaVu-Sans
bold=DejaVu-Sans-Bold

# ------------------------------------------------------------ Getting Started

# Title strip of the welcome page: a notebook with rings over a blue sweep.
convert -size 560x110 gradient:'#1d4e89'-'#3fa7a0' -rotate 90 -resize 560x110! \
    -fill '#f7f3e8' -stroke '#0f2f55' -strokewidth 2 -draw 'roundrectangle 24,16 96,94 8,8' \
    -fill '#e07a3f' -stroke none -draw 'rectangle 30,16 40,94' \
    -fill none -stroke '#0f2f55' -strokewidth 2 \
    -draw 'circle 35,28 35,32' -draw 'circle 35,48 35,52' -draw 'circle 35,68 35,72' -draw 'circle 35,86 35,90' \
    -stroke '#9aa7b5' -strokewidth 2 -draw 'line 52,36 86,36' -draw 'line 52,50 86,50' -draw 'line 52,64 80,64' \
    -stroke none -fill white -font "$bold" -pointsize 40 -annotate +120+62 'Clipvault' \
    -font "$font" -pointsize 16 -fill '#e8f1f8' -annotate +122+88 'Keep what you find, find what you keep' \
    +dither -colors 64 "$gs/banner.gif"

# A notebook holds categories, categories hold notes, pages share attachments.
convert -size 380x240 xc:white -font "$font" -pointsize 13 \
    -stroke '#33475b' -strokewidth 2 -fill none \
    -draw 'line 34,38 34,179' -draw 'line 34,63 54,63' -draw 'line 34,179 54,179' \
    -draw 'line 74,76 74,130' -draw 'line 74,96 94,96' -draw 'line 74,130 94,130' \
    -draw 'line 74,192 74,218' -draw 'line 74,218 94,218' \
    -stroke '#e07a3f' -strokewidth 1 -draw 'stroke-dasharray 5 4 line 184,96 250,125' \
    -draw 'stroke-dasharray 5 4 line 184,130 250,125' -draw 'stroke-dasharray 5 4 line 184,218 250,125' \
    -stroke '#33475b' -fill '#1d4e89' -draw 'roundrectangle 14,10 154,38 6,6' \
    -fill '#f2b134' -draw 'roundrectangle 54,50 164,76 6,6' -draw 'roundrectangle 54,166 164,192 6,6' \
    -fill '#dcefe9' -draw 'roundrectangle 94,84 184,108 6,6' -draw 'roundrectangle 94,118 184,142 6,6' \
    -draw 'roundrectangle 94,206 184,230 6,6' \
    -fill '#e07a3f' -draw 'roundrectangle 250,110 370,140 6,6' \
    -stroke none -fill white -annotate +28+29 'Notebook (.vlt)' -annotate +268+130 'Attachments' \
    -fill '#33250a' -annotate +76+68 'Recipes' -annotate +76+184 'Travel' \
    -fill '#1b3a33' -annotate +120+101 'Note' -annotate +120+135 'Note' -annotate +120+223 'Note' \
    -fill '#5b6b7c' -pointsize 11 -annotate +252+158 'pictures and styles,' -annotate +252+172 'stored once' \
    +dither -colors 32 "$gs/tree.gif"

# Sketch of the main window: menus and bars, tree on the left, page on the right.
convert -size 480x300 xc:'#e9edf2' -font "$font" -pointsize 12 \
    -fill '#1d4e89' -draw 'rectangle 0,0 479,22' \
    -fill '#d5dbe3' -draw 'rectangle 0,23 479,44' \
    -fill '#b9c3cf' -draw 'rectangle 8,28 24,40' -draw 'rectangle 30,28 46,40' -draw 'rectangle 52,28 68,40' \
    -draw 'rectangle 80,28 96,40' -draw 'rectangle 102,28 118,40' \
    -fill white -stroke '#9aa7b5' -draw 'rectangle 6,52 160,280' -draw 'rectangle 168,52 473,280' \
    -fill '#d5dbe3' -draw 'rectangle 6,52 78,68' -fill '#f5f7fa' -draw 'rectangle 80,52 150,68' \
    -stroke '#9aa7b5' -fill none -draw 'line 20,84 20,170' -draw 'line 20,100 34,100' -draw 'line 20,130 34,130' \
    -draw 'line 20,170 34,170' -draw 'line 40,108 40,122' -draw 'line 40,122 50,122' \
    -stroke none -fill '#f2b134' -draw 'rectangle 12,76 26,88' -draw 'rectangle 36,94 48,106' -draw 'rectangle 36,164 48,176' \
    -fill '#3fa7a0' -draw 'rectangle 54,116 64,128' -draw 'rectangle 36,124 46,136' \
    -fill '#c9d2dc' -draw 'rectangle 190,90 450,98' -draw 'rectangle 190,110 430,116' -draw 'rectangle 190,124 440,130' \
    -draw 'rectangle 190,138 400,144' -fill '#3fa7a0' -draw 'rectangle 190,160 300,230' \
    -fill '#c9d2dc' -draw 'rectangle 312,160 450,166' -draw 'rectangle 312,174 440,180' -draw 'rectangle 312,188 446,194' \
    -fill '#d5dbe3' -draw 'rectangle 0,286 479,299' \
    -fill white -annotate +10+16 'Clipvault' \
    -fill '#1d2b3a' -annotate +12+64 'Categories' -annotate +86+64 'Search' \
    -fill '#5b6b7c' -annotate +190+76 'Note, note list or editor' -annotate +10+272 'Category tree' \
    -annotate +8+297 'Status bar' \
    +dither -colors 32 "$gs/window.gif"

# From a page on the web to a note with its pictures kept beside it.
convert -size 520x150 xc:white -font "$font" -pointsize 13 \
    -stroke '#33475b' -strokewidth 1 \
    -fill '#dcefe9' -draw 'roundrectangle 10,30 140,120 8,8' \
    -fill '#fdf0d5' -draw 'roundrectangle 195,30 325,120 8,8' \
    -fill '#e4ecf6' -draw 'roundrectangle 380,30 510,120 8,8' \
    -stroke '#e07a3f' -strokewidth 4 -draw 'line 146,75 184,75' -draw 'line 331,75 369,75' \
    -stroke none -fill '#e07a3f' -draw 'polygon 190,75 180,67 180,83' -draw 'polygon 375,75 365,67 365,83' \
    -fill '#3fa7a0' -draw 'rectangle 26,70 60,100' -fill '#9aa7b5' -draw 'rectangle 68,72 126,76' -draw 'rectangle 68,84 120,88' \
    -fill '#f2b134' -draw 'rectangle 212,78 234,92' -draw 'rectangle 240,78 262,92' -draw 'rectangle 268,78 290,92' \
    -fill '#1d4e89' -draw 'rectangle 396,70 430,100' -fill '#9aa7b5' -draw 'rectangle 438,72 496,76' -draw 'rectangle 438,84 490,88' \
    -fill '#1d2b3a' -annotate +30+52 'Web page' -annotate +212+52 'Download' -annotate +392+52 'Note' \
    -fill '#5b6b7c' -pointsize 11 -annotate +24+140 'page, pictures, styles' -annotate +200+140 'one worker per page' \
    -annotate +378+140 'kept in the notebook' \
    +dither -colors 32 "$gs/capture.gif"

# Editor illustration: a small page with a heading, text and a picture.
convert -size 400x240 gradient:'#fafbfc'-'#e3e8ef' -font "$font" \
    -fill '#d5dbe3' -stroke '#9aa7b5' -draw 'rectangle 0,0 399,30' \
    -stroke none -fill '#1d2b3a' -font "$bold" -pointsize 15 -annotate +12+21 'B' \
    -font DejaVu-Serif-Italic -annotate +34+21 'I' -font "$font" -annotate +52+21 'U' \
    -fill '#e07a3f' -draw 'rectangle 80,8 96,22' -fill '#1d4e89' -draw 'rectangle 102,8 118,22' \
    -fill white -stroke '#c0c8d2' -draw 'rectangle 20,44 380,228' \
    -stroke none -fill '#1d4e89' -font "$bold" -pointsize 18 -annotate +36+72 'My travel notes' \
    -fill '#b9c3cf' -draw 'rectangle 36,86 360,92' -draw 'rectangle 36,100 340,106' -draw 'rectangle 36,114 350,120' \
    -fill '#87c5e8' -draw 'rectangle 36,132 196,214' \
    -fill '#6d8f5e' -draw 'polygon 36,214 80,160 112,190 140,150 196,214' \
    -fill '#f4f4f4' -draw 'polygon 128,167 140,150 152,167' \
    -fill '#f2d34f' -draw 'circle 170,150 170,160' \
    -fill '#b9c3cf' -draw 'rectangle 212,136 360,142' -draw 'rectangle 212,150 350,156' -draw 'rectangle 212,164 356,170' \
    -draw 'rectangle 212,178 330,184' \
    -fill '#1d2b3a' -draw 'rectangle 212,194 213,210' \
    -strip -quality 88 "$gs/editor.jpg"

# Padlock for the page on passwords.
convert -size 120x140 xc:white \
    -fill none -stroke '#5b6b7c' -strokewidth 12 -draw 'arc 28,10 92,90 180,360' \
    -draw 'line 28,50 28,64' -draw 'line 92,50 92,64' \
    -stroke '#8a5a12' -strokewidth 2 -fill '#f2b134' -draw 'roundrectangle 14,62 106,132 10,10' \
    -stroke none -fill '#5a3a0a' -draw 'circle 60,90 60,98' -draw 'polygon 55,94 65,94 68,118 52,118' \
    +dither -colors 16 "$gs/lock.gif"

# --------------------------------------------------------- Recipes and Travel

# Lemon drizzle cake: a slice on a plate.
convert -size 360x240 radial-gradient:'#fff8e6'-'#f0d9b0' \
    -fill '#ffffff' -stroke '#d8d0c0' -strokewidth 2 -draw 'ellipse 180,170 150,50 0,360' \
    -fill '#f3f0ea' -stroke none -draw 'ellipse 180,170 110,34 0,360' \
    -fill '#e8b84a' -draw 'polygon 90,160 250,160 270,100 110,100' \
    -fill '#f6d776' -draw 'polygon 110,100 270,100 250,70 130,70' \
    -fill '#c98f2a' -draw 'polygon 250,160 270,100 270,96 250,156' \
    -fill '#fffdf5' -draw 'polygon 130,70 250,70 270,100 256,104 240,86 224,108 208,84 188,106 170,82 150,104 110,100' \
    -fill '#f2e05a' -draw 'circle 230,78 230,82' -draw 'circle 160,80 160,83' -draw 'circle 196,76 196,79' \
    -fill '#fff27a' -stroke '#c9b22a' -strokewidth 2 -draw 'ellipse 300,120 28,18 0,360' \
    -stroke none -fill '#fffbd0' -draw 'ellipse 300,120 18,10 0,360' \
    -strip -quality 88 "$rt/cake.jpg"

# Tomato and lentil soup seen from above.
convert -size 360x240 xc:'#5c7a8a' \
    -fill '#f4efe6' -draw 'circle 180,120 180,20' \
    -fill '#e6dccb' -draw 'circle 180,120 180,32' \
    -fill '#c8462b' -draw 'circle 180,120 180,42' \
    -fill '#d8613a' -draw 'circle 172,112 172,60' \
    -fill '#f5ead2' -draw 'bezier 150,110 180,90 200,140 215,118' \
    -fill '#3f7d3a' -draw 'ellipse 160,100 9,4 30,210' -draw 'ellipse 204,132 9,4 150,330' \
    -draw 'ellipse 186,96 7,3 0,180' -draw 'ellipse 150,138 7,3 60,240' \
    -fill '#c49a5a' -stroke '#8d6a33' -draw 'roundrectangle 300,40 318,200 8,8' \
    -stroke none -fill '#d9b579' -draw 'ellipse 309,56 12,20 0,360' \
    -blur 0x0.6 -strip -quality 88 "$rt/soup.jpg"

# A stack of pancakes with syrup.
convert -size 360x240 gradient:'#fdf3e7'-'#f2dcc2' \
    -fill '#ffffff' -stroke '#dccfbd' -strokewidth 2 -draw 'ellipse 180,196 140,30 0,360' -stroke none \
    -fill '#c98a3c' -draw 'ellipse 180,186 100,22 0,360' -fill '#e8b46a' -draw 'ellipse 180,180 100,20 0,360' \
    -fill '#c98a3c' -draw 'ellipse 180,160 98,22 0,360' -fill '#e8b46a' -draw 'ellipse 180,154 98,20 0,360' \
    -fill '#c98a3c' -draw 'ellipse 180,134 96,22 0,360' -fill '#e8b46a' -draw 'ellipse 180,128 96,20 0,360' \
    -fill '#c98a3c' -draw 'ellipse 180,108 94,22 0,360' -fill '#efc27e' -draw 'ellipse 180,102 94,20 0,360' \
    -fill '#8a4b12' -draw 'ellipse 176,100 60,12 0,360' -draw 'polygon 120,102 126,130 132,104' \
    -draw 'polygon 224,104 232,146 238,100' \
    -fill '#fff7d6' -draw 'roundrectangle 164,84 196,100 3,3' \
    -fill '#d83a3a' -draw 'circle 90,200 90,208' -draw 'circle 104,208 104,215' \
    -fill '#3b4ea0' -draw 'circle 268,204 268,210' -draw 'circle 256,212 256,217' \
    -strip -quality 88 "$rt/pancakes.jpg"

# Map of the coast walk: sea, land, a town and the dotted path between them.
convert -size 420x280 xc:'#9fd0ec' -font "$font" -pointsize 12 \
    -fill '#f1e3b5' -draw 'polygon 0,0 250,0 236,40 252,80 226,120 240,160 214,200 230,240 200,280 0,280' \
    -fill '#b7d39a' -draw 'polygon 0,0 226,0 214,40 228,80 204,120 216,160 192,200 206,240 178,280 0,280' \
    -fill '#8fb877' -draw 'ellipse 80,70 50,30 0,360' -draw 'ellipse 110,200 40,26 0,360' \
    -fill '#c8ad7f' -stroke '#9b8358' -draw 'rectangle 160,40 178,56' -draw 'rectangle 182,44 196,58' \
    -draw 'rectangle 150,220 166,234' -draw 'rectangle 170,226 184,238' \
    -stroke '#b5442c' -strokewidth 3 -fill none -draw 'stroke-dasharray 8 6 path "M 178,64 C 220,100 180,130 200,160 S 190,200 166,216"' \
    -stroke '#5b6b7c' -strokewidth 1 -draw 'line 330,40 330,80' -stroke none -fill '#5b6b7c' -draw 'polygon 330,32 324,46 336,46' \
    -fill '#ffffff' -stroke '#1d4e89' -strokewidth 2 -draw 'circle 320,190 320,200' -stroke none \
    -fill '#1d4e89' -draw 'polygon 316,186 326,190 316,194' \
    -fill '#1d2b3a' -annotate +326+96 'N' -annotate +120+34 'Saltby' -annotate +92+254 'Gullhaven' \
    -annotate +206+110 'cliff path' -fill '#1d4e89' -annotate +290+222 'ferry' -annotate +330+150 'Sea' \
    -fill '#5b6b7c' -pointsize 10 -annotate +300+268 '0    2    4 km' \
    -stroke '#5b6b7c' -draw 'line 300,256 380,256' \
    +dither -colors 48 "$rt/coast-map.gif"

# Height profile of the hut walk.
convert -size 440x220 xc:white -font "$font" -pointsize 11 \
    -fill '#eef3e8' -draw 'rectangle 50,20 420,180' \
    -stroke '#dde4d4' -draw 'line 50,60 420,60' -draw 'line 50,100 420,100' -draw 'line 50,140 420,140' \
    -stroke none -fill '#7fae6b' -draw 'polygon 50,180 90,160 130,136 170,120 210,90 250,70 290,40 310,44 340,78 380,130 420,180 420,180 50,180' \
    -stroke '#3f6e2c' -strokewidth 2 -fill none -draw 'polyline 50,180 90,160 130,136 170,120 210,90 250,70 290,40 310,44 340,78 380,130 420,180' \
    -stroke none -fill '#b5442c' -draw 'polygon 290,40 282,28 298,28' \
    -stroke '#33475b' -strokewidth 1 -draw 'line 50,20 50,180' -draw 'line 50,180 420,180' -stroke none \
    -fill '#33475b' -annotate +8+184 '900 m' -annotate +8+144 '1200' -annotate +8+104 '1500' \
    -annotate +8+64 '1800' -annotate +8+24 '2100' \
    -annotate +46+198 '0' -annotate +134+198 '3' -annotate +226+198 '6' -annotate +318+198 '9' -annotate +404+198 '12 km' \
    -fill '#b5442c' -annotate +262+22 'Hut 1950 m' \
    +dither -colors 32 "$rt/hut-profile.gif"

# Kitchen title strip: a warm sweep with a whisk and a spoon.
convert -size 560x90 gradient:'#f6c66b'-'#e0744a' -rotate 90 -resize 560x90! \
    -stroke '#6b3a1a' -strokewidth 3 -fill none -draw 'ellipse 470,45 14,30 0,360' -draw 'ellipse 470,45 6,30 0,360' \
    -draw 'line 470,75 470,88' -stroke none -fill '#6b3a1a' -draw 'roundrectangle 510,8 518,84 4,4' \
    -draw 'ellipse 514,16 11,14 0,360' \
    -fill white -font "$bold" -pointsize 30 -annotate +24+50 'Recipes and Travel' \
    -font "$font" -pointsize 14 -fill '#fff5e6' -annotate +26+74 'Good food and good walks, kept in one notebook' \
    +dither -colors 64 "$rt/banner.gif"
