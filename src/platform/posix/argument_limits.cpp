#include "argument_limits.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

extern char** environ;

namespace {

// The program, the arguments of its desktop entry and the variables the launch adds to the environment.
constexpr qsizetype launchOverhead = 16 * 1024;

qsizetype environmentSize()
{
    qsizetype size = 0;
    for (char** variable = environ; variable && *variable; ++variable)
        size += ArgumentLimits::argumentCost(static_cast<qsizetype>(std::strlen(*variable)));
    return size;
}

} // namespace

ArgumentLimits ArgumentLimits::ofThisSystem()
{
    const long pageSize = sysconf(_SC_PAGESIZE);
    const long argumentMax = sysconf(_SC_ARG_MAX);
    ArgumentLimits limits;
    limits.longestArgument = 32 * static_cast<qsizetype>(pageSize > 0 ? pageSize : 4096) - 1;
    limits.allArguments = std::max<qsizetype>(0, static_cast<qsizetype>(argumentMax > 0 ? argumentMax : 128 * 1024) -
                                                     environmentSize() - launchOverhead);
    return limits;
}
