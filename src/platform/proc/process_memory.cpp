#include "process_memory.h"

#include <cstdio>
#include <unistd.h>

qint64 residentMemoryBytes()
{
    // Plain stdio rather than QFile: callers include threads that are not Qt's.
    FILE* file = std::fopen("/proc/self/statm", "re");
    if (!file)
        return 0;
    unsigned long long size = 0;
    unsigned long long resident = 0;
    const int read = std::fscanf(file, "%llu %llu", &size, &resident);
    std::fclose(file);
    if (read != 2)
        return 0;
    return qint64(resident) * qint64(sysconf(_SC_PAGESIZE));
}
