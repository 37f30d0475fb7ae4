# Every Linkherd target calls linkherd_set_warnings(); CI turns warnings into errors.
function(linkherd_set_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
        -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference -Wformat=2
        -Wimplicit-fallthrough)
    if(LINKHERD_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
        QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER)
endfunction()
