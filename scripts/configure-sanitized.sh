#!/usr/bin/env bash
# Configures build-sanitize/: clang, AddressSanitizer and UBSan on everything, the libFuzzer targets beside the
# test suites (one build serves scripts/test-sanitized.sh and scripts/fuzz.sh), no benchmarks. -O1 and line
# tables only: the objects compile in about 60% of the time -O2 -g takes, and the reports still name file and
# line. Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DLINKHERD_SANITIZE=address,undefined -DLINKHERD_FUZZ=ON \
    -DLINKHERD_BUILD_BENCHMARKS=OFF "$@"
