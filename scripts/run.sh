#!/usr/bin/env bash
# Installs what is missing, builds, installs Linkherd for the current user (~/.local) and starts it.
# It does not make Linkherd the default browser: `linkherd default --set` does that.
set -euo pipefail
cd "$(dirname "$0")/.."

prefix="$HOME/.local"
bash scripts/build.sh -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --install build --prefix "$prefix"

case ":$PATH:" in
*":$prefix/bin:"*) ;;
*) echo "Note: $prefix/bin is not on PATH; the desktop starts linkherd-app from there, so add it." >&2 ;;
esac
exec "$prefix/bin/linkherd-app"
