#!/usr/bin/env bash
# The layer rule: a file under src/ includes only headers of its own library and of libraries below it. Each
# folder of src/ (gui/ counts per window) is one library; its rank is below. Libraries of the same rank stand
# side by side and include nothing of each other. Folders inside a library (src/platform/gio, …) are parts of it.
# The host's C libraries belong to one library each: GIO, GLib and xcb to src/platform, libdbus to
# src/instance_forwarding, SpiderMonkey to src/scripting.
#
# Usage: check-layers.sh [ROOT]   (ROOT holds src/; the repository by default). Prints each offending include
# as FILE:LINE and exits 1 when there is one.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

declare -A rank=(
    [base]=0 [instance_forwarding]=0
    [routing]=1 [platform]=1 [feedback]=1
    [browsers]=2 [feedback_http]=2
    [interchange]=3
    [services]=4 [scripting]=4
    [gui/common]=5
    [gui/chooser]=6 [gui/rules_window]=6 [gui/tray]=6 [gui/feedback]=6 [gui/settings]=6
    [app]=7 [cli]=7 [windows]=7
)

# The library a path inside src/ belongs to: its first folder, or its first two under gui/.
library_of() {
    local path=$1
    case $path in
        gui/*/*) path=${path#gui/}; echo "gui/${path%%/*}" ;;
        */*) echo "${path%%/*}" ;;
        *) echo "" ;;
    esac
}

failed=0
complain() {
    echo "$1" >&2
    failed=1
}

while IFS= read -r -d '' file; do
    own=$(library_of "${file#src/}")
    [[ -n $own ]] || continue
    if [[ -z ${rank[$own]+set} ]]; then
        complain "$file: src/$own is not in the layer table of scripts/check-layers.sh"
        continue
    fi
    while IFS=: read -r line text; do
        if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
            header=${BASH_REMATCH[1]}
            [[ $header == */* ]] || continue # its own folder
            target=$(library_of "$header")
            if [[ -z ${rank[$target]+set} ]]; then
                [[ -e src/$header ]] && complain "$file:$line: includes $header, whose library is not in the layer table"
                continue # not a Linkherd header (a generated one)
            fi
            [[ $target == "$own" ]] && continue
            if ((rank[$target] >= rank[$own])); then
                if ((rank[$target] == rank[$own])); then
                    complain "$file:$line: includes $header, which is beside $own (neither may include the other)"
                else
                    complain "$file:$line: includes $header, which is above $own"
                fi
            fi
        elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(gio/|glib|xcb/)([^\>]*)\> ]]; then
            [[ $own == platform ]] ||
                complain "$file:$line: includes <${BASH_REMATCH[1]}${BASH_REMATCH[2]}>, which only src/platform may"
        elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(dbus/)([^\>]*)\> ]]; then
            [[ $own == instance_forwarding ]] ||
                complain "$file:$line: includes <${BASH_REMATCH[1]}${BASH_REMATCH[2]}>, which only src/instance_forwarding may"
        elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(js/|jsapi|jsfriendapi|mozilla/)([^\>]*)\> ]]; then
            [[ $own == scripting ]] ||
                complain "$file:$line: includes <${BASH_REMATCH[1]}${BASH_REMATCH[2]}>, which only src/scripting may"
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.h.in' \) -print0 | sort -z)

exit $failed
