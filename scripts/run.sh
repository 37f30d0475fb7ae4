#!/usr/bin/env bash
# Installs what is missing, builds, and starts Linkherd. Until the desktop application lands, that is the
# `linkherd` command-line tool.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh
exec build/src/cli/linkherd help
