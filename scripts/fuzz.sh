#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) in the sanitizer build, build-sanitize/ (clang; scripts/configure-sanitized.sh
# configures it, and scripts/test-sanitized.sh runs the test suites from the same build), and runs each for SECONDS
# (default 60).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# The corpora grow in build-sanitize/corpus/<target>, seeded from tests/data and fuzz/seeds, so a later run goes
# on from where the last one stopped; nothing is written to the source tree. A crash or a broken property stops
# that target, keeps the input in build-sanitize/findings/<target>/ and fails the script once every target ran.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-60}
shift || true
build=build-sanitize

if [ ! -f "$build/build.ninja" ]; then
    bash scripts/configure-sanitized.sh
fi
cmake --build "$build" --target fuzzers

# target, its dictionary, then where its seeds come from (files or folders).
declare -A dictionary=(
    [fuzz_rules_codec]=rules [fuzz_link_rewriter]=links [fuzz_link_parts]=links [fuzz_regex_literal]=regex
    [fuzz_hostname_regex]=regex [fuzz_caller_identity]=caller_identity [fuzz_local_state]=local_state
    [fuzz_finicky_convert]=finicky [fuzz_mcp_server]=mcp [fuzz_profiles_ini]=profiles_ini
    [fuzz_profile_group]=profile_group
)
declare -A seeds=(
    [fuzz_rules_codec]="tests/data/rules tests/data/finicky/linkherd_rules.json"
    [fuzz_local_state]="tests/data/profiles tests/data/finicky/local_state.json"
    [fuzz_profiles_ini]="tests/data/profiles/firefox"
)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_rules_codec fuzz_link_rewriter fuzz_link_parts fuzz_regex_literal fuzz_hostname_regex
             fuzz_caller_identity fuzz_local_state fuzz_profiles_ini fuzz_profile_group fuzz_finicky_convert
             fuzz_mcp_server)
fi

# Seeds: the files named above, those in fuzz/seeds/<target>/, and for the link targets one link a line.
seed() {
    local target=$1 corpus=$2 source
    for source in ${seeds[$target]:-} "fuzz/seeds/$target"; do
        [ -e "$source" ] && find "$source" -type f -exec cp -n {} "$corpus/" \;
    done
    if [ "$target" = fuzz_link_rewriter ] || [ "$target" = fuzz_link_parts ]; then
        local n=0 link
        while IFS= read -r link; do
            n=$((n + 1))
            printf '%s' "$link" > "$corpus/link-$n"
        done < fuzz/seeds/links.txt
    fi
}

# Leaks are looked for by the sanitizer build of the tests; here the targets' caches (compiled expressions,
# Qt's) would only be noise.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen

failed=()
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    findings="$build/findings/$target"
    mkdir -p "$corpus" "$findings"
    seed "$target" "$corpus"
    log="$build/findings/$target.log"
    echo "== $target for ${seconds}s"
    if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -dict="fuzz/dictionaries/${dictionary[$target]}.dict" \
        -artifact_prefix="$findings/" "$corpus" > "$log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
    else
        failed+=("$target")
        tail -n 40 "$log"
        echo "$target failed; the input that did it is in $findings/ (log: $log)."
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    cat <<EOF

Failed: ${failed[*]}
Replay an input:   $build/fuzz/<target> <input file>
Then make it a regular test case: add the input (as a file under tests/data, or inline as a _data() row) to the
QtTest suite of the code it broke (tests/<library>/), see that test fail, fix the fault in src/, see it pass.
Remove the input from $build/findings/ once the test holds it.
EOF
    exit 1
fi
echo "Every target ran ${seconds}s without a finding. Corpora: $root/$build/corpus/"
