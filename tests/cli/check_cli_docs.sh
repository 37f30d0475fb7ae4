#!/usr/bin/env bash
# The man page and the shell completions that the build makes from the tool's command table: the man page
# formats without a warning, and bash, zsh and fish each complete a subcommand, an option's choices and the IDs of
# the rules in the file --rules names (asked of the tool).
# Usage: check_cli_docs.sh DOCS_DIR LINKHERD
set -euo pipefail
docs=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
ln -s "$(realpath "$2")" "$scratch/bin/linkherd"
export PATH=$scratch/bin:$PATH

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

warnings=$(groff -man -ww -z "$docs/linkherd.1" 2>&1)
[ -z "$warnings" ] || fail "the man page: $warnings"

rules=$scratch/rules.json
id=$(linkherd --rules "$rules" rules add --host example.org --ask)

# Each shell completes the last word of a command line (here an empty one).
bash_completes() {
    bash -c 'source "$1"; shift; COMP_WORDS=(linkherd "$@"); COMP_CWORD=$#; _linkherd; echo "${COMPREPLY[*]}"' \
        _ "$docs/linkherd.bash" "$@"
}
zsh_completes() {
    zsh -fc 'compadd() { shift; print -r -- "$*"; }
        _describe() { print -r -- ${${(P)${@[-1]}}%%:*}; }
        file=$1; shift; words=(linkherd "$@"); CURRENT=${#words}; source "$file"' _ "$docs/_linkherd" "$@"
}
fish_completes() {
    fish -c 'source $argv[1]; complete -C(string join -- " " linkherd $argv[2..-1]) | string split -f1 \t | string join " "; true' \
        "$docs/linkherd.fish" "$@"
}
for shell in bash zsh fish; do
    for case in "rules|list add set rm mv" "rules add --window|usual new private" "--rules $rules rules rm|$id"; do
        IFS='|' read -r line expected <<<"$case"
        read -r -a words <<<"$line"
        got=$("${shell}_completes" "${words[@]}" "")
        # fish sorts what it offers.
        [ "$(tr ' ' '\n' <<<"$got" | sort)" = "$(tr ' ' '\n' <<<"$expected" | sort)" ] \
            || fail "$shell completes 'linkherd $line' with '$got', not '$expected'"
    done
done
echo PASS
