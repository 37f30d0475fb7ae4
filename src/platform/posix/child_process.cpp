#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

std::vector<char*> pointersTo(QByteArrayList& strings)
{
    std::vector<char*> pointers;
    pointers.reserve(static_cast<std::size_t>(strings.size()) + 1);
    for (QByteArray& string : strings)
        pointers.push_back(string.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

Result<pid_t> spawnChild(const QStringList& argv, const QByteArrayList& environment, const QString& workingDirectory)
{
    if (argv.isEmpty())
        return Failure{u"There is no program to start."_s};
    QByteArrayList arguments;
    for (const QString& argument : argv)
        arguments.append(argument.toUtf8());
    QByteArrayList variables = environment;
    std::vector<char*> argumentPointers = pointersTo(arguments);
    std::vector<char*> variablePointers = pointersTo(variables);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // Whatever this process has open, with or without close-on-exec: the bus connections, the lock on the rules,
    // Qt's and GLib's wake-up descriptors.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    const QByteArray directory = workingDirectory.toLocal8Bit();
    if (!directory.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.constData());

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    // Its own session, as GIO gives a launched application: a terminal's hang-up or a signal to Linkherd's
    // process group does not reach it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int error = posix_spawnp(&pid, arguments.front().constData(), &actions, &attributes, argumentPointers.data(),
                                   variablePointers.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return Failure{
            u"%1 could not be started: %2"_s.arg(argv.front(), QString::fromLocal8Bit(std::strerror(error)))};
    return pid;
}
