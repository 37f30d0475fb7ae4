# ld.so looks every symbol a program's libraries use up when it starts (Debian's Qt is linked with -z now), trying
# the libraries in the order the program lists them. Most are found in Qt Core, the C++ runtime and the C
# library; listed first, they take the resident's start to idle from 30.5 to 27.3 million instructions and
# `linkherd --version` from 25.0 to 21.9 million (callgrind). The sanitized builds keep the usual order: their
# runtime has to come first.
function(linkherd_list_common_libraries_first target)
    if(NOT LINKHERD_SANITIZE)
        target_link_options(${target} PRIVATE "LINKER:--push-state,--no-as-needed"
            "$<TARGET_LINKER_FILE:Qt6::Core>" -lstdc++ -l:libc.so.6 "LINKER:--pop-state")
    endif()
endfunction()
