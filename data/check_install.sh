#!/usr/bin/env bash
# Installs the desktop integration files of a configured build into throw-away prefixes and checks
# that they land where the desktop looks for them, that the paths they name follow the prefix given when
# installing (not the configured one) and DESTDIR, that the install refreshed the desktop database, and that a
# staged (DESTDIR) install leaves the caches alone.
# Usage: check_install.sh BUILD_DIR COMPONENT
set -euo pipefail

build=$1
component=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" --component "$component"

share=$prefix/share
for file in applications/org.linkherd.Linkherd.desktop \
            dbus-1/services/org.linkherd.Linkherd.service \
            dbus-1/interfaces/org.linkherd.Linkherd.Scripting.xml \
            icons/hicolor/scalable/apps/org.linkherd.Linkherd.svg \
            icons/hicolor/symbolic/apps/org.linkherd.Linkherd-symbolic.svg \
            metainfo/org.linkherd.Linkherd.metainfo.xml; do
    [ -f "$share/$file" ] || fail "$file is not installed"
done
# Without an SVG renderer the desktop and the tray show only PNGs.
for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/org.linkherd.Linkherd.png
    [ -f "$png" ] || fail "the ${size}x${size} icon is not installed"
    [ "$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] \
        || fail "the ${size}x${size} icon is not ${size} pixels square"
done

# D-Bus activation of the desktop entry finds the service by the entry's file name.
service=$share/dbus-1/services/org.linkherd.Linkherd.service
grep -qx 'Name=org.linkherd.Linkherd' "$service" || fail "the D-Bus service has the wrong name"
# The prefix given here is not the one the build was configured with.
grep -qxF "Exec='$prefix/libexec/linkherd/linkherd-resident' --background" "$service" \
    || fail "the D-Bus service starts the wrong command: $(grep '^Exec=' "$service")"

# GIO lists browsers from mimeinfo.cache only.
cache=$share/applications/mimeinfo.cache
[ -f "$cache" ] || fail "the install did not refresh the desktop database"
grep -qE '^x-scheme-handler/https=(.*;)?org\.linkherd\.Linkherd\.desktop;' "$cache" \
    || fail "mimeinfo.cache does not list Linkherd for https"$'\n'"$(cat "$cache")"
if command -v gtk-update-icon-cache >/dev/null; then
    [ -f "$share/icons/hicolor/icon-theme.cache" ] || fail "the install did not refresh the icon cache"
fi

# A staged install must touch neither the staging tree's caches nor those of the real prefix.
target=$scratch/target
mkdir -p "$target/share/applications" "$target/share/icons/hicolor"
DESTDIR=$scratch/stage cmake --install "$build" --prefix "$target" --component "$component"
staged=$scratch/stage$target/share
[ -f "$staged/applications/org.linkherd.Linkherd.desktop" ] || fail "DESTDIR is not honoured"
grep -qxF "Exec='$target/libexec/linkherd/linkherd-resident' --background" \
    "$staged/dbus-1/services/org.linkherd.Linkherd.service" \
    || fail "the staged D-Bus service does not start linkherd-resident from the target prefix"
for dir in "$staged" "$target/share"; do
    [ ! -e "$dir/applications/mimeinfo.cache" ] || fail "a staged install refreshed $dir/applications"
    [ ! -e "$dir/icons/hicolor/icon-theme.cache" ] || fail "a staged install refreshed $dir/icons/hicolor"
done
echo "PASS"
