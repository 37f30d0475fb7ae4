#include "cli/cli.h"
#include "platform/linux_platform.h"
#include "platform/xdg/snap_applications.h"
#include "routing/rules_file.h"

#include <QCoreApplication>
#include <QLoggingCategory>

int main(int argc, char* argv[])
{
    SnapApplications::addToDataDirectories();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("linkherd"));
    // What the libraries log reaches the user as the tool's own messages do; their debug lines are for the
    // resident's journal.
    qSetMessagePattern(QStringLiteral("linkherd: %{message}"));
    QLoggingCategory::setFilterRules(QStringLiteral("org.linkherd.Linkherd.*.debug=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    LinuxPlatform platform;
    const CliServices services{&platform.catalog, &platform.launcher, &platform.defaultHandlers, &platform.autostart};
    const int status = runCli(arguments, out, err, RulesFile::defaultPath(), services);
    out.flush();
    err.flush();
    return status;
}
