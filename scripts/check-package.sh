#!/usr/bin/env bash
# Installs a built Linkherd package on this machine and uses it as a user would, then purges it and checks
# that nothing of it is left. Needs root (apt-get); CI runs it after scripts/package.sh.
# Usage: check-package.sh [PACKAGE.deb]   (default: the one in build-package/)
set -euo pipefail
cd "$(dirname "$0")/.."

deb=${1:-$(ls build-package/linkherd_*.deb)}
deb=$(realpath "$deb")
version=$(sed -n 's/^project(Linkherd VERSION \([^ ]*\).*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
resident=/usr/libexec/linkherd/linkherd-resident
# The installed resident's processes, by their executable (argv[0] is whatever started them).
residents() {
    for exe in /proc/[0-9]*/exe; do
        [ "$(readlink "$exe" 2>/dev/null)" = "$resident" ] && basename "$(dirname "$exe")"
    done
    return 0
}
purge() {
    residents | xargs -r kill 2>/dev/null || true
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq linkherd >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap purge EXIT

echo "== Installing $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
dpkg -L linkherd > "$scratch/files"

[ "$(linkherd --version)" = "linkherd $version" ] || fail "linkherd --version says: $(linkherd --version)"
[ "$(linkherd-app --version)" = "linkherd-app $version" ] || fail "linkherd-app --version says: $(linkherd-app --version)"
for file in /usr/bin/linkherd /usr/bin/linkherd-app /usr/libexec/linkherd/linkherd-resident \
            /usr/libexec/linkherd/linkherd-windows \
            /usr/share/applications/org.linkherd.Linkherd.desktop \
            /usr/share/dbus-1/services/org.linkherd.Linkherd.service \
            /usr/share/dbus-1/interfaces/org.linkherd.Linkherd.Scripting.xml \
            /usr/share/metainfo/org.linkherd.Linkherd.metainfo.xml \
            /usr/share/icons/hicolor/scalable/apps/org.linkherd.Linkherd.svg \
            /usr/share/man/man1/linkherd.1.gz /usr/share/man/man1/linkherd-app.1.gz \
            /usr/share/bash-completion/completions/linkherd /usr/share/zsh/vendor-completions/_linkherd \
            /usr/share/fish/vendor_completions.d/linkherd.fish; do
    grep -qxF "$file" "$scratch/files" || fail "the package does not install $file"
done
grep -q "^Exec='\?/usr/" /usr/share/dbus-1/services/org.linkherd.Linkherd.service \
    || fail "the D-Bus service does not start a program under /usr: $(cat /usr/share/dbus-1/services/org.linkherd.Linkherd.service)"
# dpkg's triggers, not the package's scripts, refresh the desktop database.
grep -qE '^x-scheme-handler/https=(.*;)?org\.linkherd\.Linkherd\.desktop;' /usr/share/applications/mimeinfo.cache \
    || fail "the desktop database does not list Linkherd for https"

echo "== Using it as a user: a rule sends a link opened with gio to a browser"
home=$scratch/home
mkdir -p "$home/.config" "$home/.local/share/applications" "$home/.cache"
cat > "$scratch/fake-browser" <<SCRIPT
#!/bin/sh
printf '%s\n' "\$@" > "$scratch/opened.tmp" && mv "$scratch/opened.tmp" "$scratch/opened"
SCRIPT
chmod +x "$scratch/fake-browser"
cat > "$home/.local/share/applications/fake-browser.desktop" <<ENTRY
[Desktop Entry]
Type=Application
Name=Fake Browser
Exec=$scratch/fake-browser %U
MimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;
ENTRY
update-desktop-database "$home/.local/share/applications"

{ declare -p resident; declare -f residents; } > "$scratch/as-user.sh"
cat >> "$scratch/as-user.sh" <<'SCRIPT'
set -euo pipefail
linkherd default --set
linkherd rules add --host example.org --in fake-browser >/dev/null
gio open 'https://example.org/from-the-package'
for _ in $(seq 100); do
    [ -f "$SCRATCH/opened" ] && break
    sleep 0.1
done
[ -f "$SCRATCH/opened" ] || { echo "FAIL: the link did not reach the browser" >&2; exit 1; }
[ "$(cat "$SCRATCH/opened")" = 'https://example.org/from-the-package' ] \
    || { echo "FAIL: the browser got: $(cat "$SCRATCH/opened")" >&2; exit 1; }
[ -n "$(residents)" ] || { echo "FAIL: the bus did not start $resident" >&2; exit 1; }
linkherd doctor || { echo "FAIL: linkherd doctor found problems" >&2; exit 1; }
SCRIPT
env -i PATH=/usr/bin:/bin HOME="$home" SCRATCH="$scratch" LANG=C.UTF-8 \
    XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" \
    XDG_DATA_DIRS=/usr/share XDG_RUNTIME_DIR="$scratch" QT_QPA_PLATFORM=offscreen \
    dbus-run-session -- bash "$scratch/as-user.sh"

echo "== Purging"
residents | xargs -r kill
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq linkherd
left=()
while read -r file; do
    # dpkg lists the folders it shares with other packages too; only files and our own folders count.
    if [ -f "$file" ] || [ -L "$file" ] || { [ -d "$file" ] && [[ $file == */linkherd ]]; }; then
        left+=("$file")
    fi
done < "$scratch/files"
[ ${#left[@]} -eq 0 ] || fail "apt purge left: ${left[*]}"
if grep -qs 'org\.linkherd\.Linkherd' /usr/share/applications/mimeinfo.cache; then
    fail "the desktop database still lists Linkherd after the purge"
fi
echo "PASS"
