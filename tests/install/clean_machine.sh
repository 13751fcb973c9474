#!/usr/bin/env bash
# The package on a machine that has never seen Clipvault: a fresh Debian 12
# made with debootstrap (run as root; it needs Debian's mirror, so it is run
# by hand, not by ctest). The package is installed with apt, which must find
# every dependency by itself; the installed program then starts on a
# virtual display, opens both sample notebooks and answers the automation
# service, and the launcher's file type reaches the desktop's database.
#   tests/install/clean_machine.sh PACKAGE.deb [CHROOT-FOLDER]
set -euo pipefail
deb=$(realpath "$1")
root=${2:-/var/tmp/clipvault-bookworm}
[ "$(id -u)" -eq 0 ] || { echo "clean_machine: run as root" >&2; exit 2; }
if [ ! -x "$root/usr/bin/apt-get" ]; then
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
fi
mounted=()
cleanup() { for m in "${mounted[@]}"; do umount -l "$m" 2>/dev/null || true; done; }
trap cleanup EXIT
for m in proc sys dev dev/pts; do
  mkdir -p "$root/$m"
  mount --bind "/$m" "$root/$m"
  mounted=("$root/$m" "${mounted[@]}")
done
# The browser engine keeps its shared memory there, as on a booted system.
mkdir -p "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mounted=("$root/dev/shm" "${mounted[@]}")
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
name=$(basename "$deb")
cat >"$root/tmp/inside.sh" <<'INSIDE'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get -q update
# Only the package and what it pulls in; the display and the tools that
# look at it come after, so they cannot stand in for a missing dependency.
apt-get -q install -y --no-install-recommends "/tmp/$1"
echo "== installed: $(dpkg-query -W -f='${Package} ${Version} ${Status}' clipvault)"
folder=$(dirname "$(readlink -f /usr/bin/clipvault)")
echo "== program folder: $folder"
ldd "$folder/clipvault" | grep 'not found' && { echo "FAIL: unresolved libraries"; exit 1; }
apt-get -q install -y --no-install-recommends xvfb xauth xdotool x11-utils libglib2.0-bin shared-mime-info desktop-file-utils
grep -q 'application/x-clipvault-notebook:\*\.vlt' /usr/share/mime/globs2 && echo "== the notebook type is in the MIME database"
grep -q 'application/x-clipvault-notebook=org.clipvault.Clipvault.desktop' /usr/share/applications/mimeinfo.cache &&
  echo "== notebooks open with Clipvault (mimeinfo.cache)"
useradd -m tester 2>/dev/null || true
su tester -s /bin/bash -c "folder=$folder; "'
  set -euo pipefail
  cd
  export XDG_RUNTIME_DIR=$(mktemp -d)
  xvfb-run -a -s "-screen 0 1280x860x24" dbus-run-session -- bash -c "
    clipvault \"$folder/Sample/Getting Started.vlt\" &
    for i in \$(seq 1 120); do xdotool search --name \"Getting Started\" >/dev/null 2>&1 && break; sleep 0.5; done
    xdotool search --name \"Getting Started\" >/dev/null || { echo FAIL: no window for the first sample; exit 1; }
    echo \"== the installed program shows: \$(xdotool search --name \"Getting Started\" getwindowname | head -n 1)\"
    # A second start hands its notebook over by coming forward; the running
    # one opens the second sample through its own open command instead.
    gdbus introspect --session --dest org.clipvault.Clipvault --object-path /org/clipvault/Clipvault |
      grep -cE \"interface org\\.clipvault\\.Automation|(AddNoteFromIE|AddNoteFromPage|AddNotesFromFiles|StartImport)\\(\" | grep -qx 5 &&
      echo \"== the automation service answers\"
    kill %1; wait || true
    clipvault \"$folder/Sample/Recipes and Travel.vlt\" &
    for i in \$(seq 1 120); do xdotool search --name \"Recipes and Travel\" >/dev/null 2>&1 && break; sleep 0.5; done
    xdotool search --name \"Recipes and Travel\" >/dev/null || { echo FAIL: no window for the second sample; exit 1; }
    echo \"== the second sample opens too\"
    kill %1; wait || true
  "
'
echo "== clean machine: all checks passed"
INSIDE
chroot "$root" /bin/bash /tmp/inside.sh "$name"
