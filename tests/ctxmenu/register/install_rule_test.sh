#!/usr/bin/env bash
# "cmake --install" with a relative DESTDIR runs the registration on the
# staged program folder: every file lands under DESTDIR and names the final
# folder, and nothing reaches the (temporary) home.
#   install_rule_test.sh BUILD_DIR TOOL LIBVLTEXTMENU FAKE_DIR LIBDIR TMP
set -euo pipefail
build=$1 tool=$2 lib=$3 fake=$4 libdir=$5 tmp=$6
mkdir -p "$tmp"
work=$(mktemp -d "$tmp/installXXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
prefix=/opt/clipvault-test
folder="stage$prefix/$libdir/clipvault"
# Only the registration's own component runs; the program folder it works on
# is laid out as the install of the whole build would leave it.
mkdir -p "$folder" home
cp "$tool" "$lib" "$fake/clipvault-send-files" "$fake/clipvault-native-host" "$folder/"
echo module > "$folder/libclipvault-nautilus.so"
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share LANG=C \
  DESTDIR=stage cmake --install "$build" --component menu_registration --prefix "$prefix" > install.log 2>&1 || {
  cat install.log; echo "FAIL: cmake --install failed"; exit 1; }
grep -q "Registering:" install.log || { cat install.log; echo "FAIL: the rule did not run"; exit 1; }
if grep -q "CMake Warning" install.log; then
  cat install.log; echo "FAIL: the registration reported a failure"; exit 1
fi
fail=0
# The registration must come after the program folder is copied.
copy=$(grep -n 'file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/'"$libdir"'/clipvault"' "$build/cmake_install.cmake" \
       | head -1 | cut -d: -f1)
register=$(grep -n 'RegisterOnInstall.cmake' "$build/cmake_install.cmake" | head -1 | cut -d: -f1)
if [ -z "$copy" ] || [ -z "$register" ] || [ "$register" -le "$copy" ]; then
  echo "FAIL: the registration does not run after the program folder is installed ($copy, $register)"; fail=1
fi
check() { [ -e "$1" ] || { echo "FAIL: missing $1"; fail=1; }; }
menu="stage$prefix/share/kio/servicemenus/clipvault-Add_to_Clipvault.desktop"
chromium="stage$prefix/etc/chromium/native-messaging-hosts/org.clipvault.test_host.json"
check "$menu"
check "$chromium"
check "stage$prefix/etc/opt/chrome/native-messaging-hosts/org.clipvault.test_host.json"
check "stage$prefix/lib/mozilla/native-messaging-hosts/org.clipvault.test_host.json"
find "stage$prefix/lib" -path '*/nautilus/extensions-4/libclipvault-nautilus.so' | grep -q . \
  || { echo "FAIL: no Nautilus extension under stage$prefix/lib"; fail=1; }
grep -q "Exec=\"$prefix/$libdir/clipvault/clipvault-send-files\" %F" "$menu" \
  || { echo "FAIL: the service menu does not name the installed sender"; fail=1; }
grep -q "\"path\": \"$prefix/$libdir/clipvault/clipvault-native-host\"" "$chromium" \
  || { echo "FAIL: the manifest does not name the installed host"; fail=1; }
if grep -rq "$work/stage" stage; then echo "FAIL: a written file names the staging folder"; fail=1; fi
if [ -n "$(ls -A home)" ]; then echo "FAIL: the home folder was touched"; fail=1; fi
[ $fail = 0 ] && { cat install.log; echo "install rule: ok"; }
exit $fail
