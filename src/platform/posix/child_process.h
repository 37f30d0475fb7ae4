#pragma once

#include "base/result.h"

#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// Starts argv[0] (looked up on PATH) with these arguments and exactly this environment (NAME=value each), in the
// working directory when one is given, as a child of this process in a session of its own, with stdin on
// /dev/null and stdout and stderr shared; no other file descriptor of this process reaches it, and no signal
// mask or ignored signal either. Uses posix_spawn, which neither copies this process's memory nor blocks for
// more than the exec: a large resident starts a browser in microseconds. Fails with the system's reason when the
// program cannot be executed. The caller reaps the child.
Result<pid_t> spawnChild(const QStringList& argv, const QByteArrayList& environment,
                         const QString& workingDirectory = {});
