#!/usr/bin/env bash
# Installs a built tree for one user, or takes such an install away again.
#   scripts/user_install.sh install-user|uninstall-user BUILD-DIR PREFIX
# PREFIX is normally ~/.local: the launcher, file type, icons and the bus's
# activation file go where the desktop looks for a user's own (PREFIX/share),
# the programs to PREFIX/bin, the program folder to PREFIX/lib/clipvault,
# and the file managers' and browsers' entries are registered for this user.
set -euo pipefail
what=$1 build=$2 prefix=$3
manifest="$prefix/share/clipvault/install_manifest.txt"

refresh() {
  # The desktop's caches of what is installed; each tool is optional.
  if command -v update-mime-database >/dev/null; then update-mime-database "$prefix/share/mime"; fi
  if command -v update-desktop-database >/dev/null; then update-desktop-database -q "$prefix/share/applications"; fi
  if command -v gtk-update-icon-cache >/dev/null && [ -f "$prefix/share/icons/hicolor/index.theme" ]; then
    gtk-update-icon-cache -q -t -f "$prefix/share/icons/hicolor" || true
  fi
}

case "$what" in
  install-user)
    CLIPVAULT_REGISTER=user cmake --install "$build" --prefix "$prefix"
    mkdir -p "$(dirname "$manifest")"
    cp "$build/install_manifest.txt" "$manifest"
    refresh
    # Notebooks open with Clipvault when this user has no other choice.
    if command -v xdg-mime >/dev/null && [ -z "$(xdg-mime query default application/x-clipvault-notebook 2>/dev/null)" ]; then
      xdg-mime default org.clipvault.Clipvault.desktop application/x-clipvault-notebook || true
    fi
    echo "Clipvault is installed in $prefix; start it from the desktop's menu or with $prefix/bin/clipvault."
    case ":$PATH:" in *":$prefix/bin:"*) ;; *) echo "($prefix/bin is not on PATH.)" ;; esac
    ;;
  uninstall-user)
    [ -f "$manifest" ] || { echo "user_install: nothing installed in $prefix ($manifest is missing)" >&2; exit 1; }
    register=$(grep -m1 '/clipvault/clipvault-register$' "$manifest" || true)
    if [ -n "$register" ] && [ -x "$register" ]; then "$register" --unregister || true; fi
    # The manifest's last line has no line end.
    while IFS= read -r f || [ -n "$f" ]; do
      case "$f" in "$prefix"/*) rm -f "$f" ;; esac
    done <"$manifest"
    rm -f "$prefix/bin/clipvault" "$manifest"
    # Only the folders the install made and left empty.
    folder=$(dirname "${register:-$prefix/lib/clipvault/x}")
    find "$folder" "$prefix/share/clipvault" -depth -type d -empty -delete 2>/dev/null || true
    refresh
    echo "Clipvault is removed from $prefix."
    ;;
  *) echo "usage: $0 install-user|uninstall-user BUILD-DIR PREFIX" >&2; exit 2 ;;
esac
