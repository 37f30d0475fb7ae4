#pragma once

#include <QtGlobal>

// How much text a program can be started with (the limits of execve), in bytes of UTF-8.
struct ArgumentLimits final {
    qsizetype longestArgument = 0; // one argument, its terminating zero not counted
    qsizetype allArguments = 0;    // all arguments of one start together, each counted as argumentCost() says

    // Linux: one argument holds at most 32 pages (MAX_ARG_STRLEN, usually 128 KiB), which is the limit that
    // bites first; all of them share sysconf(_SC_ARG_MAX) with the environment a started program inherits.
    static ArgumentLimits ofThisSystem();

    // What one argument of that length takes of allArguments: its text, its zero and its pointer.
    static qsizetype argumentCost(qsizetype utf8Length) { return utf8Length + 1 + qsizetype(sizeof(char*)); }
};
