// linkherd-app as the desktop runs it for every link (Exec=linkherd-app %U): hands the links to the resident
// Linkherd over the session bus and ends as soon as it has taken them. Whoever runs it (xdg-open, a terminal, a
// mail client) may wait for it, so it never becomes the resident itself: when none runs, the bus starts one from
// the installed service file and holds the call until it serves. Built on libdbus alone, without Qt or GLib: the
// common case (a resident instance) is on the path of every click, and loading either would cost more than all
// the rest of the hand-over.
//
// The application the links come from is not worked out here: the resident reads it from this process's
// ancestry while this process waits for the answer, and so still holds its place in that ancestry.

#include "app_info.h"
#include "instance_forwarding/instance_forwarding.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char helpText[] = R"(Usage: linkherd-app [URL...]
       linkherd-app --ask-next | --settings | --feedback
       linkherd-app --background

Hands the URLs to Linkherd, which sends each to the right browser, and returns once Linkherd has them. Starts
Linkherd first when it is not running. Without a URL, shows Linkherd.

Options:
  --ask-next      Send the next link that arrives within two minutes to the chooser, whatever the rules.
  --settings      Show Linkherd's settings window.
  --feedback      Show Linkherd's "Send Feedback" window.
  --background    Run Linkherd itself, without a window (at login, and when the session bus starts it).
  --help          Show this help.
  --version       Show the version.
)";

// How long a resident started here may take to come up on the bus before its links are given up.
constexpr auto startTimeout = std::chrono::seconds(10);

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

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// This process becomes the resident, with the same arguments and the same parent: for --background (autostart
// and the bus's own start), and where there is no session bus to hand links over.
int becomeResident(char* argv[])
{
    const std::string resident = residentProgram();
    if (resident.empty()) {
        std::fprintf(stderr, "linkherd-app: linkherd-resident is not installed next to linkherd-app\n");
        return 1;
    }
    ::execv(resident.c_str(), argv);
    std::fprintf(stderr, "linkherd-app: could not start %s: %s\n", resident.c_str(), std::strerror(errno));
    return 1;
}

// Copies what the resident writes to standard error to ours until it lets go of the pipe (it serves on the
// bus, or it has ended) or the time is up. When ours cannot take it, the text is read and dropped all the same.
void relayStartupErrors(int pipe)
{
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    bool relaying = true;
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        pollfd readable{pipe, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return;
        const ssize_t length = ::read(pipe, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            return;
        relaying = relaying && ::write(STDERR_FILENO, buffer, static_cast<size_t>(length)) == length;
    }
}

// For a bus that cannot start Linkherd (no service file: a build tree, an install the bus does not know):
// starts the resident in a session of its own, away from our caller's terminal and pipes, and waits until it
// serves or has ended. Returns its pid, or 0 when it could not be started.
pid_t startDetached()
{
    const std::string resident = residentProgram();
    if (resident.empty()) {
        std::fprintf(stderr, "linkherd-app: linkherd-resident is not installed next to linkherd-app\n");
        return 0;
    }
    int errors[2];
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "linkherd-app: could not start Linkherd: %s\n", std::strerror(errno));
        return 0;
    }
    ::setenv(InstanceForwarding::startupErrorsVariable, "1", 1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();
        // Above 2, so that the descriptors below cannot overwrite each other.
        const int errorsOut = ::fcntl(errors[1], F_DUPFD_CLOEXEC, 3);
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(errorsOut, STDERR_FILENO);
        // The resident lives on after this hand-over; the links' activation goes with the call, not with it.
        ::unsetenv("XDG_ACTIVATION_TOKEN");
        ::unsetenv("DESKTOP_STARTUP_ID");
        char background[] = "--background";
        char* const arguments[] = {const_cast<char*>(resident.c_str()), background, nullptr};
        ::execv(resident.c_str(), arguments);
        ::dprintf(STDERR_FILENO, "linkherd-app: could not start %s: %s\n", resident.c_str(), std::strerror(errno));
        ::_exit(127);
    }
    ::close(errors[1]);
    // A caller that stops reading our standard error must not end us before the resident is up.
    ::signal(SIGPIPE, SIG_IGN);
    if (child < 0) {
        std::fprintf(stderr, "linkherd-app: could not start Linkherd: %s\n", std::strerror(errno));
        ::close(errors[0]);
        return 0;
    }
    relayStartupErrors(errors[0]);
    ::close(errors[0]);
    return child;
}

// The exit status of the resident started here when it has ended (a process that has just closed its pipe may
// take a moment more to end), -1 while it runs.
int exitStatusOf(pid_t child)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        ::usleep(10'000);
    }
    return -1;
}

// What this run asks of the resident: take links (show it, without any), or show one of its windows (an
// action of its org.freedesktop.Application interface, named like the option).
InstanceForwarding::Answer request(const std::vector<std::string>& links, const std::string& windowAction,
                                   const InstanceForwarding::HandOver& handOver, InstanceForwarding::Start start)
{
    if (!windowAction.empty())
        return InstanceForwarding::activateAction(windowAction, handOver, start);
    return InstanceForwarding::forward(links, handOver, start);
}

} // namespace

int main(int argc, char* argv[])
{
    bool background = false;
    std::string windowAction;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--help") {
            std::fputs(helpText, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("linkherd-app %s\n", AppInfo::version);
            return 0;
        }
        background = background || argument == "--background" || argument == "--gapplication-service";
        if (argument == "--ask-next" || argument == "--settings" || argument == "--feedback")
            windowAction = argument.substr(2);
    }
    if (background)
        return becomeResident(argv);

    using InstanceForwarding::Outcome;
    const std::vector<std::string> links = linksOf(argc, argv);
    if (!windowAction.empty() && !links.empty()) {
        std::fprintf(stderr, "linkherd-app: --%s takes no URL\n", windowAction.c_str());
        return 2;
    }
    // On the Exec path the desktop hands the clicking application's activation over in our environment.
    const InstanceForwarding::HandOver handOver{{}, variable("XDG_ACTIVATION_TOKEN"), variable("DESKTOP_STARTUP_ID")};
    const char* what = windowAction.empty() ? "links" : "request";
    const InstanceForwarding::Answer answer = request(links, windowAction, handOver, InstanceForwarding::Start::byBus);
    switch (answer.outcome) {
    case Outcome::forwarded:
        return 0;
    case Outcome::noBus:
        return becomeResident(argv);
    case Outcome::failed:
        std::fprintf(stderr, "linkherd-app: the running Linkherd did not take the %s (%s)\n", what,
                     answer.error.c_str());
        return 1;
    case Outcome::notStarted:
        std::fprintf(stderr, "linkherd-app: the session bus could not start Linkherd (%s)\n", answer.error.c_str());
        break;
    case Outcome::noInstance:
        break;
    }

    const pid_t resident = startDetached();
    if (resident == 0)
        return 1;
    const InstanceForwarding::Answer late = request(links, windowAction, handOver, InstanceForwarding::Start::never);
    if (late.outcome == Outcome::forwarded)
        return 0;
    if (const int ended = exitStatusOf(resident); ended >= 0)
        std::fprintf(stderr, "linkherd-app: Linkherd ended while starting (exit status %d)\n", ended);
    else
        std::fprintf(stderr, "linkherd-app: Linkherd did not take the %s (%s)\n", what, late.error.c_str());
    return 1;
}
