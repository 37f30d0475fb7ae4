#!/usr/bin/env bash
# The resident serves every link, so it loads no library that only the Finicky import (SpiderMonkey) or sending
# feedback (QtNetwork and what it brings) needs: the `linkherd` tool does that work in a child process. Nor does it
# load a toolkit (Qt Gui, Qt Widgets): its windows are the process linkherd-windows. Prints each such library that
# `ldd` lists for the program and exits 1 when there is one.
#
# Usage: check-resident-libraries.sh PROGRAM
set -euo pipefail
program=${1:?usage: check-resident-libraries.sh PROGRAM}
libraries=$(ldd "$program")
if forbidden=$(grep -E 'libmozjs|libQt6Network|libQt6Gui|libQt6Widgets' <<<"$libraries"); then
    echo "$program links what only the linkherd tool or the windows may:" >&2
    echo "$forbidden" >&2
    exit 1
fi
echo "$program: $(wc -l <<<"$libraries") libraries, none of them the JavaScript engine, the network stack or a toolkit"
