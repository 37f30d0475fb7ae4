#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UBSan into build-sanitize/ (clang, scripts/configure-sanitized.sh; the
# same build holds the libFuzzer targets scripts/fuzz.sh runs) and runs every test suite through CTest.
# The programs the tests start (linkherd, linkherd-app, the fakes) are the sanitized ones of that build. A leak,
# a memory error or undefined behaviour in Linkherd fails the test it happens in; tests/sanitizers/ holds the
# suppressions, each for a library outside Linkherd and with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
bash scripts/configure-sanitized.sh "$@"
cmake --build build-sanitize

# detect_stack_use_after_return stays off (the default): SpiderMonkey measures its native stack from the address of
# a local variable, which that mode moves to the heap, so every script would fail as too deeply nested.
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_odr_violation=0:\
suppressions=$root/tests/sanitizers/asan.supp"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$root/tests/sanitizers/ubsan.supp"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-sanitize --output-on-failure --timeout 600 -j "$(nproc)"
