#!/usr/bin/env bash
# Installs what is missing, then configures and builds Linkherd into build/ (Ninja, ccache when present).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLINKHERD_WERROR=ON "$@"
cmake --build build
