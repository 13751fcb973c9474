#!/usr/bin/env bash
# An installation as a package stages it (DESTDIR, prefix /usr), checked the
# way the desktop reads it: the launcher, the software-centre file, the file
# type, the icons, the manual pages and the bus's activation file. The
# staged program runs from its folder and finds its files there. Then the
# per-user install and its removal, in a home of its own.
# Usage: install_test.sh BUILD-FOLDER SOURCE-FOLDER
set -uo pipefail
BUILD=$(realpath "$1")
SRC=$(realpath "$2")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
need() { command -v "$1" >/dev/null || { echo "FAIL: $1 is missing (scripts/deps.sh installs it)" >&2; exit 1; }; }
for t in desktop-file-validate appstreamcli update-mime-database man file; do need "$t"; done

STAGE="$WORK/stage"
if ! DESTDIR="$STAGE" timeout 180 cmake --install "$BUILD" --prefix /usr >"$WORK/install.log" 2>&1; then
  cat "$WORK/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi
U="$STAGE/usr"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$BUILD/CMakeCache.txt")
FOLDER="$U/$libdir/clipvault"

# --- the programs and the program folder
link=$(readlink "$U/bin/clipvault" || true)
case "$link" in
  /*) fail "bin/clipvault is an absolute link ($link): it would not survive a staged install" ;;
  "") fail "bin/clipvault is not a link into the program folder" ;;
esac
[ "$(realpath "$U/bin/clipvault" 2>/dev/null)" = "$(realpath "$FOLDER/clipvault")" ] ||
  fail "bin/clipvault does not lead to $FOLDER/clipvault"
[ -x "$U/bin/clipvault-cli" ] || fail "no bin/clipvault-cli"
for f in clipvault clipvault-send-files clipvault-native-host clipvault-register libVLTExtMenu.so \
         Language/VLTEng.rcc Language/VLTChn.rcc tips.txt tips-chn.txt help/4001.htm \
         "Sample/Getting Started.vlt" "Sample/Recipes and Travel.vlt" browser/extension/manifest.json; do
  [ -s "$FOLDER/$f" ] || fail "the program folder lacks $f"
done
[ -e "$FOLDER/AppOption.data" ] && fail "a developer's options were installed"
nautilus=$(find "$U/lib" -path '*nautilus/extensions-4/libclipvault-nautilus.so' | head -n 1)
[ -n "$nautilus" ] || fail "the Nautilus extension is not in its system folder"
for m in "$STAGE/etc/chromium/native-messaging-hosts" "$STAGE/etc/opt/chrome/native-messaging-hosts" \
         "$U/lib/mozilla/native-messaging-hosts"; do
  manifest="$m/org.clipvault.native_host.json"
  grep -q "\"path\": *\"/usr/$libdir/clipvault/clipvault-native-host\"" "$manifest" 2>/dev/null ||
    fail "host manifest $manifest does not name the installed host"
done

# --- the staged command-line tool works on its own
"$U/bin/clipvault-cli" new "$WORK/b.vlt" >/dev/null && "$U/bin/clipvault-cli" add-category "$WORK/b.vlt" News >/dev/null &&
  "$U/bin/clipvault-cli" dump "$WORK/b.vlt" | grep -q '"News"' || fail "the installed clipvault-cli cannot make a notebook"

# --- the launcher
desktop="$U/share/applications/org.clipvault.Clipvault.desktop"
if out=$(desktop-file-validate "$desktop" 2>&1); then [ -z "$out" ] || fail "desktop-file-validate: $out"
else fail "desktop-file-validate: $out"; fi
grep -q '^MimeType=application/x-clipvault-notebook;$' "$desktop" || fail "the launcher does not open notebooks"
for a in new-notebook open-notebook; do
  grep -q "^\[Desktop Action $a\]" "$desktop" || fail "the launcher lacks the action $a"
  grep -q "^Exec=clipvault --$a\$" "$desktop" || fail "the action $a does not start clipvault --$a"
done
icon=$(sed -n 's/^Icon=//p' "$desktop")

# --- the software centre's description
if ! out=$(appstreamcli validate --no-net "$U/share/metainfo/org.clipvault.Clipvault.metainfo.xml" 2>&1); then
  fail "appstreamcli validate: $out"
fi
grep -q '<launchable type="desktop-id">org.clipvault.Clipvault.desktop</launchable>' \
  "$U/share/metainfo/org.clipvault.Clipvault.metainfo.xml" || fail "the metainfo does not name the launcher"

# --- the file type: *.vlt is a Clipvault notebook, shown with the program's icon
cp -r "$U/share/mime" "$WORK/mime"
if update-mime-database "$WORK/mime" >"$WORK/mime.log" 2>&1; then
  grep -qx 'application/x-clipvault-notebook:\*\.vlt' "$WORK/mime/globs" || fail "*.vlt is not the notebook type: $(cat "$WORK/mime/globs")"
  grep -qx "application/x-clipvault-notebook:$icon" "$WORK/mime/icons" || fail "the notebook type has not the launcher's icon $icon"
  [ -f "$WORK/mime/application/x-clipvault-notebook.xml" ] || fail "update-mime-database made no entry for the type"
else
  fail "update-mime-database: $(cat "$WORK/mime.log")"
fi

# --- the icons, at every size of the theme and scalable
for s in 16 22 24 32 48 64 128 256; do
  png="$U/share/icons/hicolor/${s}x${s}/apps/$icon.png"
  [ -f "$png" ] || { fail "no $s-pixel icon"; continue; }
  file -b "$png" | grep -q "^PNG image data, $s x $s," || fail "the ${s}x$s icon is $(file -b "$png")"
done
[ -f "$U/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon"

# --- the manual pages, compressed and free of formatting faults
for page in clipvault clipvault-cli; do
  gz="$U/share/man/man1/$page.1.gz"
  [ -f "$gz" ] || { fail "no manual page $page.1.gz"; continue; }
  warnings=$(MANWIDTH=80 man --warnings -l "$gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
# Every command the tool knows is in its manual page.
zcat "$U/share/man/man1/clipvault-cli.1.gz" >"$WORK/cli.1"
for c in $("$U/bin/clipvault-cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\)\( .*\)\?$/\1/p'); do
  grep -q "^\.B[IR]\? \"\?$c\b" "$WORK/cli.1" || fail "the manual page of clipvault-cli lacks the command $c"
done

# --- the bus starts the installed program
service="$U/share/dbus-1/services/org.clipvault.Clipvault.service"
grep -qx "Exec=\"/usr/$libdir/clipvault/clipvault\" --automation" "$service" 2>/dev/null ||
  fail "the activation file does not start the installed program: $(cat "$service" 2>&1)"

# --- the documents a package must carry
[ -f "$U/share/doc/clipvault/copyright" ] || fail "no copyright file"
zcat "$U/share/doc/clipvault/changelog.gz" 2>/dev/null | head -n 1 | grep -q '^clipvault (' || fail "no changelog"

# --- a user's own install into ~/.local, and its removal
export HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/.local/share" XDG_CONFIG_HOME="$WORK/home/.config"
mkdir -p "$HOME"
if bash "$SRC/scripts/user_install.sh" install-user "$BUILD" "$HOME/.local" >"$WORK/user.log" 2>&1; then
  L="$HOME/.local"
  [ -x "$L/bin/clipvault" ] && [ -x "$L/bin/clipvault-cli" ] || fail "user install: no programs in ~/.local/bin"
  [ -f "$L/share/applications/org.clipvault.Clipvault.desktop" ] || fail "user install: no launcher"
  [ -f "$L/share/mime/globs2" ] && grep -q 'application/x-clipvault-notebook:\*\.vlt' "$L/share/mime/globs2" ||
    fail "user install: the file type is not in the user's database"
  grep -q "Exec=\"$L/$libdir/clipvault/clipvault\" --automation" "$L/share/dbus-1/services/org.clipvault.Clipvault.service" 2>/dev/null ||
    fail "user install: the bus would not start the user's program"
  [ -f "$XDG_DATA_HOME/kio/servicemenus/"clipvault-*.desktop ] || fail "user install: no Dolphin entry"
  [ -f "$HOME/.config/chromium/NativeMessagingHosts/org.clipvault.native_host.json" ] ||
    fail "user install: no Chromium host manifest"
  [ -e "$L/etc" ] && fail "user install wrote system files under $L/etc"
  if bash "$SRC/scripts/user_install.sh" uninstall-user "$BUILD" "$L" >>"$WORK/user.log" 2>&1; then
    # The desktop's caches stay, made again without Clipvault in them.
    left=$(find "$L/bin" "$L/lib" "$L/share/applications" "$L/share/icons" "$L/share/metainfo" "$L/share/man" \
                "$L/share/dbus-1" "$L/share/mime/packages" "$XDG_DATA_HOME/kio" \( -type f -o -type l \) \
                ! -name mimeinfo.cache ! -name icon-theme.cache 2>/dev/null)
    [ -z "$left" ] || fail "uninstall-user left: $left"
    grep -qs clipvault "$L/share/applications/mimeinfo.cache" "$L/share/mime/globs2" &&
      fail "uninstall-user left Clipvault in the desktop's caches"
    [ -f "$HOME/.config/chromium/NativeMessagingHosts/org.clipvault.native_host.json" ] &&
      fail "uninstall-user left the Chromium host manifest"
  else
    fail "uninstall-user: $(cat "$WORK/user.log")"
  fi
else
  fail "install-user: $(cat "$WORK/user.log")"
fi

[ "$failures" -eq 0 ] && echo "install layout: all checks passed"
exit $((failures > 0))
