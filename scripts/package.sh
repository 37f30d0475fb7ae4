#!/usr/bin/env bash
# Builds Linkherd's Debian package from a fresh checkout of the commit in this tree (what is not
# committed is not packaged) and leaves it in build-package/: linkherd_<version>_<arch>.deb, with the
# build's .buildinfo and .changes beside it, and lintian's report in lintian.txt.
# Fails when the package does not build or lintian reports an error.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
out=$PWD/build-package
rm -rf "$out"
mkdir -p "$out/source"
git archive HEAD | tar -x -C "$out/source"

# debhelper points HOME at a scratch folder; the compiler cache, where there is one, stays the user's.
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
# debhelper builds on one core unless told otherwise.
export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-parallel=$(nproc)}"
# dpkg-buildpackage writes its results next to the source folder.
(cd "$out/source" && dpkg-buildpackage -us -uc -b)
rm -rf "$out/source"

deb=$(ls "$out"/linkherd_*.deb)
lintian --info --display-info --pedantic "$deb" | tee "$out/lintian.txt"
if grep -q '^E: ' "$out/lintian.txt"; then
    echo "lintian reports errors" >&2
    exit 1
fi
echo "Built $deb"
