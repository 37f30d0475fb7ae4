// linkherd-resident: the resident application that receives every link the desktop opens with Linkherd. The
// session bus starts it (through `linkherd-app --background`), and so do autostart and linkherd-app itself.

#include "app/app_services.h"
#include "app/application_bus.h"
#include "app/scripting_bus.h"
#include "app/tray_host.h"
#include "app/tray_icon.h"
#include "app/window_process.h"
#include "app_info.h"
#include "base/logging.h"
#include "platform/launch_activation.h"
#include "platform/proc/caller_identity.h"
#include "platform/running_instance.h"
#include "platform/x11/active_window.h"
#include "platform/xdg/snap_applications.h"
#include "routing/rule_store.h"
#include "routing/rules_file.h"
#include "services/preferences.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct CommandLine {
    QStringList links;
    bool background = false; // started at login or by D-Bus activation: no window
    QString windowAction;    // "settings" or "feedback": that window rather than the rules window
    bool help = false;
    bool version = false;
};

CommandLine parseCommandLine(int argc, char* argv[])
{
    CommandLine commandLine;
    for (int index = 1; index < argc; ++index) {
        const QString argument = QString::fromLocal8Bit(argv[index]);
        if (argument == u"--background"_s || argument == u"--gapplication-service"_s)
            commandLine.background = true;
        else if (argument == u"--settings"_s || argument == u"--feedback"_s)
            commandLine.windowAction = argument.sliced(2);
        else if (argument == u"--help"_s)
            commandLine.help = true;
        else if (argument == u"--version"_s)
            commandLine.version = true;
        else if (!argument.startsWith(u'-'))
            commandLine.links.append(argument);
    }
    return commandLine;
}

constexpr char helpText[] = R"(Usage: linkherd-resident [URL...]
       linkherd-resident --settings | --feedback
       linkherd-resident --background

Linkherd itself, which stays running and sends every link to the right browser. The desktop starts it through
linkherd-app; run linkherd-app rather than this.

Options:
  --settings      Show the settings window.
  --feedback      Show the "Send Feedback" window.
  --background    Start without a window (at login, and when the session bus starts it).
  --help          Show this help.
  --version       Show the version.
)";

// linkherd-app relays what a resident it started prints until that resident serves; the pipe goes away with
// linkherd-app, so from then on the output goes nowhere. Until then a linkherd-app that has gone (its caller
// stopped it) must not take the resident with it.
void holdStartupErrors()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void releaseStartupErrors()
{
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    std::signal(SIGPIPE, SIG_DFL);
}

int fail(const QString& error)
{
    const QString folder = QFileInfo(RulesFile::defaultPath()).absolutePath();
    const QString informative =
        (error.isEmpty() ? u"Unknown error"_s : error) + u"\n\nThe rules live in %1."_s.arg(folder);
    std::fprintf(stderr, "Linkherd could not open its rules\n%s\n", qUtf8Printable(informative));
    // Told in a window too, for whoever started Linkherd from the desktop; where no window can show it (offscreen,
    // no display) it counts as answered at once.
    WindowProcess windows(WindowProcess::besideThisProgram());
    windows.alert({u"Linkherd could not open its rules"_s, informative, {}}, [](int) { QCoreApplication::exit(1); },
                  WindowProcess::Severity::critical);
    QCoreApplication::exec();
    return 1;
}

// The bus starts a service for a call it then delivers as soon as the service has taken its name, and says so in
// the service's environment. Taken out of it: the browsers started from here were not started by the bus.
bool takeBusActivation()
{
    const bool activated = qEnvironmentVariableIsSet("DBUS_STARTER_BUS_TYPE");
    qunsetenv("DBUS_STARTER_BUS_TYPE");
    qunsetenv("DBUS_STARTER_ADDRESS");
    return activated;
}

// How long what no link waits for waits for the call the bus started Linkherd for.
constexpr std::chrono::milliseconds callWaitLimit{500};

} // namespace

int main(int argc, char* argv[])
{
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (commandLine.help || commandLine.version) {
        if (commandLine.help)
            std::fputs(helpText, stdout);
        else
            std::printf("linkherd-resident %s\n", AppInfo::version);
        return 0;
    }
    if (!commandLine.windowAction.isEmpty() && !commandLine.links.isEmpty()) {
        std::fprintf(stderr, "linkherd-resident: --%s takes no URL\n", qPrintable(commandLine.windowAction));
        return 2;
    }
    ProcCallerIdentity callerIdentity;
    // Read first: the process that ran us (xdg-open, a shell, the clicking application) may soon be gone.
    const QString source =
        commandLine.links.isEmpty()
            ? QString()
            : callerIdentity.applicationOfCallerChain(static_cast<qint64>(getppid())).value_or(QString());
    SnapApplications::addToDataDirectories();

    // A running instance takes the links; this process ends at once, without building an application. Started
    // in the background, this process is meant to be the instance: whether another one is, the bus name says.
    const bool startupErrorsRelayed = qEnvironmentVariableIsSet(InstanceForwarding::startupErrorsVariable);
    qunsetenv(InstanceForwarding::startupErrorsVariable); // not for the browsers started from here
    // The activation this process was started with belongs to the links on its command line. Taken out of the
    // environment before Qt reads it: a resident started in the background (by the bus, at login, by
    // linkherd-app) must not spend it on a later window or hand it to a later browser.
    LaunchActivation activation = LaunchActivation::takeFromEnvironment();
    const bool startedForACall = takeBusActivation();
    if (commandLine.background)
        activation = {};
    if (startupErrorsRelayed)
        holdStartupErrors();
    // One request per run, as linkherd-app makes it: a window, or the links.
    const auto forward = [&commandLine, &source, &activation] {
        return !commandLine.windowAction.isEmpty()
                   ? RunningInstance::activateAction(commandLine.windowAction, activation)
                   : RunningInstance::forward(commandLine.links, source, activation);
    };
    if (!commandLine.background) {
        const Result<RunningInstance::Outcome> forwarded = forward();
        if (forwarded && forwarded.value() == RunningInstance::Outcome::forwarded)
            return 0;
    }

    // No toolkit and no display connection of Qt's: the windows are a process of their own (WindowProcess).
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(u"Linkherd"_s);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(AppInfo::version));

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
    new ScriptingBus(bus, &bus); // owned by bus, offered with it
    if (bus.registerOnSessionBus() == ApplicationBus::Registration::nameTaken) {
        // Another instance won the race to the name: it takes the links, and is the instance.
        if (commandLine.background && commandLine.links.isEmpty())
            return 0;
        const Result<RunningInstance::Outcome> late = forward();
        if (late && late.value() == RunningInstance::Outcome::forwarded)
            return 0;
        qCCritical(lcApp, "Another Linkherd owns the session bus name but does not answer");
    }

    services.start();
    // The links on the command line come from whoever ran this process; where /proc could not place that, the
    // active window's application, asked of the X server only if a rule or the panel needs to know.
    const LinkSource ownSource =
        source.isEmpty()
            ? LinkSource::lookedUpBy([&catalog] { return activeWindowApplication(catalog).value_or(QString()); })
            : LinkSource(source);
    if (commandLine.windowAction == u"settings"_s && !commandLine.background)
        services.showSettings(activation);
    else if (commandLine.windowAction == u"feedback"_s && !commandLine.background)
        services.showFeedback(activation);
    else if (!commandLine.links.isEmpty())
        services.openLinks(commandLine.links, ownSource, activation);
    else if (!commandLine.background)
        services.showRulesWindow();
    // The tray icon and what no link waits for come once the links that woke Linkherd are handed over: those on
    // the command line, above, or those of the call the bus started Linkherd for. The bus sends that call as soon
    // as the name is taken, but it may reach the event loop after the loop's first turn, or after the answer of
    // a tray host asked meanwhile, and building the tray icon takes longer than launching a browser.
    std::unique_ptr<TrayIcon> tray;
    std::unique_ptr<TrayHost> trayHost;
    const auto startTheRest = [&services, &tray, &trayHost] {
        if (trayHost)
            return;
        trayHost = std::make_unique<TrayHost>(
            [&tray, &services](TrayHost::Kind kind) { tray = std::make_unique<TrayIcon>(services, kind); });
        services.startAfterHandOver();
    };
    if (startedForACall) {
        QObject::connect(&bus, &ApplicationBus::callServed, &application, startTheRest,
                         static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
        // A call to another interface (the scripting one) or one that never comes.
        QTimer::singleShot(callWaitLimit, &application, startTheRest);
    } else {
        QTimer::singleShot(0, &application, startTheRest);
    }
    if (startupErrorsRelayed)
        releaseStartupErrors();
    return application.exec();
}
