#!/usr/bin/env bash
# Installs the script libraries in js/ from the npm registry, exactly as
# js/package-lock.json pins them, when they are missing or the lock changed.
# Run by deps.sh at set-up; the build only copies what is installed here.
set -euo pipefail
cd "$(dirname "$0")/../js"
stamp=node_modules/.clipvault-lock
if [ -f "$stamp" ] && cmp -s package-lock.json "$stamp"; then
  exit 0
fi
echo "deps: installing the script libraries (npm ci in js/)"
rm -rf node_modules
npm ci --no-audit --no-fund --loglevel=error
cp package-lock.json "$stamp"
