// linkherd-app: the resident application that receives every link the desktop opens with Linkherd.

#include "app/app_services.h"
#include "app/application_bus.h"
#include "app/preferences.h"
#include "app/tray_icon.h"
#include "app_info.h"
#include "chooser/message_box.h"
#include "platform/active_window.h"
#include "platform/caller_identity.h"
#include "platform/instance_bus.h"
#include "routing/logging.h"
#include "routing/rule_store.h"
#include "routing/rules_file.h"

#include <QApplication>
#include <QFileInfo>
#include <QSystemTrayIcon>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct CommandLine {
    QStringList links;
    bool background = false; // started at login or by D-Bus activation: no window
};

CommandLine parseCommandLine(int argc, char* argv[])
{
    CommandLine commandLine;
    for (int index = 1; index < argc; ++index) {
        const QString argument = QString::fromLocal8Bit(argv[index]);
        if (argument == u"--background"_s || argument == u"--gapplication-service"_s)
            commandLine.background = true;
        else if (!argument.startsWith(u'-'))
            commandLine.links.append(argument);
    }
    return commandLine;
}

int fail(const QString& error)
{
    const QString folder = QFileInfo(RulesFile::defaultPath()).absolutePath();
    const QString informative =
        (error.isEmpty() ? u"Unknown error"_s : error) + u"\n\nThe rules live in %1."_s.arg(folder);
    std::fprintf(stderr, "Linkherd could not open its rules\n%s\n", qUtf8Printable(informative));
    // Alerts need someone to see them; on a session without a display the text goes to the error stream only.
    if (MessageBox::canShow()) {
        MessageBox::open({MessageBox::Style::critical, u"Linkherd could not open its rules"_s, informative, {}},
                         [](int) { QCoreApplication::exit(1); });
        QCoreApplication::exec();
    }
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    const CommandLine commandLine = parseCommandLine(argc, argv);
    ProcCallerIdentity callerIdentity;
    // Read first: the process that ran us (xdg-open, a shell, the clicking application) may soon be gone.
    const QString source =
        commandLine.links.isEmpty()
            ? QString()
            : callerIdentity.applicationOfCallerChain(static_cast<qint64>(getppid())).value_or(QString());

    // A running instance takes the links; this process ends at once, without building an application. When
    // linkherd-app has just looked and found none, the answer stands (a lost race is caught below).
    const bool justLooked = qEnvironmentVariableIsSet("LINKHERD_NO_INSTANCE_FOUND");
    qunsetenv("LINKHERD_NO_INSTANCE_FOUND"); // not for the browsers started from here
    if (!justLooked) {
        const Result<InstanceBus::Outcome> forwarded = InstanceBus::forward(commandLine.links, source);
        if (forwarded && forwarded.value() == InstanceBus::Outcome::forwarded)
            return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(u"Linkherd"_s);
    QApplication::setApplicationVersion(QString::fromLatin1(AppInfo::version));
    QApplication::setDesktopFileName(QString::fromLatin1(AppInfo::ownBundleID));
    QApplication::setQuitOnLastWindowClosed(false);

    Result<std::unique_ptr<AppServices>> created = AppServices::create(Preferences::shared());
    if (!created)
        return fail(created.error());
    AppServices& services = *created.value();

    // A caller that /proc cannot place (an application started outside any systemd unit or sandbox) is most
    // likely the window the user just clicked in.
    ApplicationCatalog& catalog = services.catalog();
    ApplicationBus bus(services, [&callerIdentity, &catalog](qint64 pid) {
        std::optional<QString> caller = callerIdentity.applicationOfCallerChain(pid);
        return caller ? caller : activeWindowApplication(catalog);
    });
    if (bus.registerOnSessionBus() == ApplicationBus::Registration::nameTaken) {
        // Another instance won the race to the name: it takes the links.
        const Result<InstanceBus::Outcome> late = InstanceBus::forward(commandLine.links, source);
        if (late && late.value() == InstanceBus::Outcome::forwarded)
            return 0;
        qCCritical(lcApp, "Another Linkherd owns the session bus name but does not answer");
    }

    std::unique_ptr<TrayIcon> tray;
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray = std::make_unique<TrayIcon>(services);

    services.start();
    // Only now is there a connection to the display to ask about the active window.
    const QString ownSource = source.isEmpty() && !commandLine.links.isEmpty()
                                  ? activeWindowApplication(catalog).value_or(QString())
                                  : source;
    QList<std::pair<QString, QString>> links;
    for (const QString& link : commandLine.links)
        links.append({link, ownSource});
    if (!links.isEmpty())
        services.openLinks(links);
    else if (!commandLine.background && services.store().isFirstRun())
        services.showRulesWindow();
    return application.exec();
}
