#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The /proc files that tell which desktop application a process belongs to, read from their text so that every
// desktop's naming can be checked without its processes. No reader ever answers Linkherd's own ID.
namespace ProcFiles {

// The application whose systemd unit holds the process, from /proc/PID/cgroup (cgroup v2, or the name=systemd
// line of v1).
std::optional<QString> applicationOfCgroup(QStringView text);

// The application of a Flatpak sandbox, from the sandbox's /.flatpak-info.
std::optional<QString> applicationOfFlatpakInfo(QStringView text);

struct Stat final {
    QString command; // comm: the file name of the executable or script, cut to 15 bytes by the kernel
    qint64 parent = 0;

    friend bool operator==(const Stat&, const Stat&) = default;
};

// The command name and parent process ID from /proc/PID/stat.
std::optional<Stat> parseStat(QStringView text);

} // namespace ProcFiles
