#!/usr/bin/env bash
# Installs what is missing, builds Vexlo and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${JOBS:-2}"
if [ -x build/default/app/vexlo ]; then
  exec build/default/app/vexlo
fi
echo "built; the window program is not part of this build yet"
