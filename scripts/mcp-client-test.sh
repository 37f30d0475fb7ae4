#!/usr/bin/env bash
# Runs the test of `linkherd mcp` with the official MCP client (tests/cli/mcp) in its folder of the build tree,
# installing the client there from npm first when that folder does not hold the version package.json names.
# Usage: scripts/mcp-client-test.sh FOLDER LINKHERD_EXECUTABLE. Exits 77 (CTest: skipped) without Node.js.
set -euo pipefail

folder=$1
shift
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    echo "Node.js and npm are not installed (scripts/install-deps.sh installs them); skipping the MCP client test"
    exit 77
fi
cd "$folder"
wanted=$(node -p 'require("./package.json").dependencies["@modelcontextprotocol/sdk"]')
installed=$(node -p 'try { require("./node_modules/@modelcontextprotocol/sdk/package.json").version } catch { "" }')
if [ "$wanted" != "$installed" ]; then
    npm install --no-audit --no-fund --no-package-lock --loglevel=error
fi
exec node --test-reporter=spec tst_mcp.mjs "$@"
