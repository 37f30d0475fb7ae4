#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --timeout 300 -j "$(nproc)"
