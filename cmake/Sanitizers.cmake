# LINKHERD_SANITIZE instruments every target (the tests and the programs they start included); LINKHERD_FUZZ adds
# the libFuzzer targets to that build and libFuzzer's coverage instrumentation to everything, so one clang build
# serves both the sanitized test suite and the fuzz targets (scripts/test-sanitized.sh, scripts/fuzz.sh). The
# coverage hooks in the programs without libFuzzer resolve to the sanitizer runtime's empty ones.
if(LINKHERD_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "LINKHERD_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
    endif()
    set(LINKHERD_BUILD_BENCHMARKS OFF CACHE BOOL "" FORCE)
    if(NOT LINKHERD_SANITIZE)
        set(LINKHERD_SANITIZE "address,undefined")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(LINKHERD_SANITIZE)
    # UBSan stops at its first finding instead of printing and going on, so a finding fails the test.
    add_compile_options(-fsanitize=${LINKHERD_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${LINKHERD_SANITIZE})
endif()
