#!/usr/bin/env bash
# Renders the application icon (data/icons/hicolor/scalable) into the PNG sizes of the hicolor theme, which
# the repository carries so that the icon shows where no SVG renderer is installed (and in the tray, which
# takes the PNGs from a Qt resource). Run it after changing the SVG and commit the PNGs.
# Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons/hicolor"

command -v rsvg-convert >/dev/null || { echo "render-icons: rsvg-convert is missing (librsvg2-bin)" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio \
        --output "${size}x${size}/apps/org.linkherd.Linkherd.png" scalable/apps/org.linkherd.Linkherd.svg
done
