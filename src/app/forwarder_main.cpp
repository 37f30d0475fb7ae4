// linkherd-app as the desktop runs it for every link (Exec=linkherd-app %U): hands the links to the resident
// Linkherd over the session bus and ends, or, when none runs, becomes it. Built on libdbus alone, without Qt or
// GLib: the common case (a resident instance) is on the path of every click, and loading either would cost more
// than all the rest of the hand-over.
//
// The application the links come from is not worked out here: the resident reads it from this process's
// ancestry while this process waits for the answer, and so still holds its place in that ancestry.

#include "platform/instance_forwarding.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The resident program: next to this one in a build tree, in the libexec folder once installed.
std::string residentProgram()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    self[length] = '\0';
    const std::string here(self, std::strrchr(self, '/') ? std::strrchr(self, '/') : self);
    for (const std::string& candidate : {here + "/linkherd-resident", here + "/" + LINKHERD_RESIDENT_FROM_BINDIR}) {
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// D-Bus carries text as UTF-8, and links are ASCII in practice; an argument that is not UTF-8 is dropped with
// a message rather than handed over mangled.
std::vector<std::string> linksOf(int argc, char* argv[])
{
    std::vector<std::string> links;
    for (int index = 1; index < argc; ++index) {
        if (argv[index][0] == '-')
            continue;
        if (InstanceForwarding::isText(argv[index]))
            links.emplace_back(argv[index]);
        else
            std::fprintf(stderr, "linkherd-app: skipping an argument that is not UTF-8 text\n");
    }
    return links;
}

} // namespace

int main(int argc, char* argv[])
{
    const InstanceForwarding::Answer answer = InstanceForwarding::forward(linksOf(argc, argv));
    if (answer.outcome == InstanceForwarding::Outcome::forwarded)
        return 0;
    if (answer.outcome == InstanceForwarding::Outcome::failed)
        std::fprintf(stderr, "linkherd-app: the running Linkherd did not answer (%s)\n", answer.error.c_str());

    // No instance: this process becomes it, with the same arguments and the same parent.
    const std::string resident = residentProgram();
    if (resident.empty()) {
        std::fprintf(stderr, "linkherd-app: linkherd-resident is not installed next to linkherd-app\n");
        return 1;
    }
    // Tells the resident that looking for an instance has just been done.
    ::setenv("LINKHERD_NO_INSTANCE_FOUND", "1", 1);
    ::execv(resident.c_str(), argv);
    std::fprintf(stderr, "linkherd-app: could not start %s: %s\n", resident.c_str(), std::strerror(errno));
    return 1;
}
