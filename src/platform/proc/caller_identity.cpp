#include "caller_identity.h"

#include "proc_files.h"

#include <QFile>
#include <QStringList>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// A real /proc/PID/cgroup is one line under cgroup v2 and about a dozen under v1; anything longer is not worth
// reading through.
constexpr qint64 maxFileSize = 64 * 1024;
// Launchers nest a few levels deep at most (application, sh -c, xdg-open, gio); a chain longer than this is no
// launch chain, and a bound keeps a looping or hostile tree from holding up a link.
constexpr int maxChainSteps = 16;

bool isLinkOpener(const QString& command)
{
    static const QStringList openers = {
        u"sh"_s,           u"bash"_s,
        u"dash"_s,         u"zsh"_s,
        u"xdg-open"_s,     u"gio"_s,
        u"kde-open"_s,     u"kde-open5"_s,
        u"kioclient"_s,    u"kioclient5"_s,
        u"exo-open"_s,     u"gvfs-open"_s,
        u"linkherd-app"_s, u"linkherd-reside"_s,
    };
    return openers.contains(command);
}

} // namespace

ProcCallerIdentity::ProcCallerIdentity() : ProcCallerIdentity(u"/proc"_s) {}

ProcCallerIdentity::ProcCallerIdentity(QString procRoot) : m_procRoot(std::move(procRoot)) {}

std::optional<QString> ProcCallerIdentity::applicationOf(qint64 pid)
{
    if (pid <= 0)
        return {};
    // A sandboxed application's cgroup is named by whoever started it, its .flatpak-info by Flatpak itself.
    if (const std::optional<QString> info = read(pid, u"root/.flatpak-info"_s)) {
        if (std::optional<QString> id = ProcFiles::applicationOfFlatpakInfo(*info))
            return id;
    }
    if (const std::optional<QString> cgroup = read(pid, u"cgroup"_s))
        return ProcFiles::applicationOfCgroup(*cgroup);
    return {};
}

std::optional<QString> ProcCallerIdentity::applicationOfCallerChain(qint64 pid)
{
    for (int step = 0; step < maxChainSteps && pid > 1; ++step) {
        const std::optional<QString> text = read(pid, u"stat"_s);
        const std::optional<ProcFiles::Stat> stat = text ? ProcFiles::parseStat(*text) : std::nullopt;
        // Gone already, or not ours to see: its parent can no longer be known.
        if (!stat)
            return {};
        if (!isLinkOpener(stat->command)) {
            if (std::optional<QString> id = applicationOf(pid))
                return id;
        }
        pid = stat->parent;
    }
    return {};
}

std::optional<QString> ProcCallerIdentity::read(qint64 pid, const QString& file) const
{
    QFile proc(m_procRoot + u'/' + QString::number(pid) + u'/' + file);
    if (!proc.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(proc.read(maxFileSize));
}
