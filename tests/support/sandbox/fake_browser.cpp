// The executable behind every fake browser of a SandboxedDesktop. The sandbox copies it into its bin/ folder
// under each browser's executable name; every start records itself and exits at once.
//
// It is a plain program on purpose: a shell script only sees the interpreter's idea of argv[0], and argument
// bytes are written here exactly as the kernel handed them over, so nothing can be lost to quoting or to a
// text encoding. argv and the environment cannot contain NUL, which makes NUL a safe separator.
//
// Where: <folder of this executable>/../launches/<name of this executable>/<monotonic ns>-<pid>.launch
// What (each field followed by one NUL): the format tag, pid, CLOCK_REALTIME ns, CLOCK_MONOTONIC ns, argc,
// argv[0..argc-1], the number of environment entries, each entry as NAME=value.
// The file is written under a hidden name and renamed, so a reader never sees half a record.

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

long long nanoseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

void append(std::string& record, const std::string& field)
{
    record += field;
    record += '\0';
}

bool makeDirectory(const std::string& path)
{
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

int fail(const std::string& what)
{
    std::fprintf(stderr, "fake browser: %s: %s\n", what.c_str(), std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    const long long wallClock = nanoseconds(CLOCK_REALTIME);
    const long long monotonic = nanoseconds(CLOCK_MONOTONIC);

    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return fail("cannot find its own path");
    const std::string path(self, static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    const std::string binDirectory = path.substr(0, slash);
    const std::string name = path.substr(slash + 1);

    const std::string launches = binDirectory + "/../launches";
    const std::string directory = launches + '/' + name;
    if (!makeDirectory(launches) || !makeDirectory(directory))
        return fail("cannot create " + directory);

    std::string record;
    append(record, "linkherd-fake-launch-1");
    append(record, std::to_string(getpid()));
    append(record, std::to_string(wallClock));
    append(record, std::to_string(monotonic));
    append(record, std::to_string(argc));
    for (int i = 0; i < argc; ++i)
        append(record, argv[i]);
    std::vector<const char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.push_back(*entry);
    append(record, std::to_string(environment.size()));
    for (const char* entry : environment)
        append(record, entry);

    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%020lld-%d", monotonic, static_cast<int>(getpid()));
    const std::string temporary = directory + "/." + stamp + ".partial";
    const std::string complete = directory + '/' + stamp + ".launch";

    // x: created here or not at all; e: close-on-exec.
    std::FILE* file = std::fopen(temporary.c_str(), "wxe");
    if (!file)
        return fail("cannot create " + temporary);
    const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
    if (std::fclose(file) != 0 || !written)
        return fail("cannot write " + temporary);
    if (rename(temporary.c_str(), complete.c_str()) != 0)
        return fail("cannot rename " + temporary);
    return 0;
}
