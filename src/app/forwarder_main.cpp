// linkherd-app as the desktop runs it for every link (Exec=linkherd-app %U): hands the links to the resident
// Linkherd over the session bus and ends, or, when none runs, becomes it. Kept to QtCore and GIO so that
// the common case (a resident instance) costs a few milliseconds, not the loading of the whole interface.

#include "platform/caller_identity.h"
#include "platform/instance_bus.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The resident program: next to this one in a build tree, in the libexec folder once installed.
QString residentProgram()
{
    const QString here = QFileInfo(u"/proc/self/exe"_s).canonicalPath();
    const QStringList candidates = {here + u"/linkherd-resident"_s,
                                    here + u"/"_s + QStringLiteral(LINKHERD_RESIDENT_FROM_BINDIR)};
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    }
    return QString();
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList links;
    for (int index = 1; index < argc; ++index) {
        if (argv[index][0] != '-')
            links.append(QString::fromLocal8Bit(argv[index]));
    }
    // Read first: the process that ran us (xdg-open, a shell, the clicking application) may soon be gone.
    const QString source =
        links.isEmpty()
            ? QString()
            : ProcCallerIdentity().applicationOfCallerChain(static_cast<qint64>(getppid())).value_or(QString());
    const Result<InstanceBus::Outcome> forwarded = InstanceBus::forward(links, source);
    if (forwarded && forwarded.value() == InstanceBus::Outcome::forwarded)
        return 0;
    if (!forwarded)
        std::fprintf(stderr, "linkherd-app: the running Linkherd did not answer (%s)\n",
                     qUtf8Printable(forwarded.error()));

    // No instance: this process becomes it, with the same arguments and the same parent.
    const QString resident = residentProgram();
    if (resident.isEmpty()) {
        std::fprintf(stderr, "linkherd-app: linkherd-resident is not installed next to linkherd-app\n");
        return 1;
    }
    const QByteArray path = QFileInfo(resident).absoluteFilePath().toLocal8Bit();
    // Tells the resident that looking for an instance has just been done.
    ::setenv("LINKHERD_NO_INSTANCE_FOUND", "1", 1);
    ::execv(path.constData(), argv);
    std::fprintf(stderr, "linkherd-app: could not start %s: %s\n", path.constData(), std::strerror(errno));
    return 1;
}
