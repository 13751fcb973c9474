#!/usr/bin/env bash
# Builds what is missing and starts Clipvault.
#   ./run.sh [notebook.vlt]      the desktop program (the start dialog offers
#                                the sample notebooks on the first run)
#   ./run.sh --cli ARGS...       the command-line tool instead
#   ./run.sh --register          adds "Add to Clipvault" to the file managers'
#                                menus and the browser extension's host for
#                                this user (--unregister takes them away)
#   ./run.sh --install-user      installs into ~/.local for this user: the
#                                programs, launcher, file type, icons, bus
#                                service and menu entries (--uninstall-user
#                                takes them away again)
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ "${1:-}" = "--cli" ]; then
  shift
  exec ./build/src/clipvault-cli "$@"
fi
if [ "${1:-}" = "--register" ] || [ "${1:-}" = "--unregister" ]; then
  exec ./build/bin/clipvault-register "$@"
fi
if [ "${1:-}" = "--install-user" ] || [ "${1:-}" = "--uninstall-user" ]; then
  exec ./scripts/user_install.sh "${1#--}" build "$HOME/.local"
fi
# The browser view's sandbox refuses to run as root.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display; starting Clipvault on a virtual one (xvfb-run)" >&2
  exec xvfb-run -a -s "-screen 0 1280x860x24" ./build/bin/clipvault "$@"
fi
exec ./build/bin/clipvault "$@"
