// linkherd-windows: Linkherd's windows, started by the resident when one is to be shown and told over its standard
// input what to show. It ends when the resident lets it go (the end of its input).

#include "app_info.h"
#include "base/logging.h"
#include "browsers/browsers.h"
#include "platform/linux_platform.h"
#include "resident_channel.h"
#include "routing/rule_store.h"
#include "services/preferences.h"
#include "window_services.h"

#include <QApplication>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    if (argc > 1) {
        std::fputs("linkherd-windows is started by Linkherd itself; run linkherd-app.\n", stderr);
        return 2;
    }
    // A resident that is gone makes a write fail, not end this process before its windows are saved.
    std::signal(SIGPIPE, SIG_IGN);

    QApplication application(argc, argv);
    ResidentChannel& channel = *ResidentChannel::overStandardStreams(&application);
    QApplication::setApplicationName(u"Linkherd"_s);
    QApplication::setApplicationVersion(QString::fromLatin1(AppInfo::version));
    QApplication::setDesktopFileName(QString::fromLatin1(AppInfo::ownDesktopID));
    QApplication::setQuitOnLastWindowClosed(false);

    const Result<QString> directory = RuleStore::rulesDirectory();
    if (!directory) {
        qCCritical(lcApp, "No rules folder: %s", qUtf8Printable(directory.error()));
        return 1;
    }
    LinuxPlatform platform;
    Browsers::setCatalog(&platform.catalog);
    platform.catalog.watch();
    RuleStore store(directory.value() + u"/rules.json"_s);
    store.startWatching();
    WindowServices services({platform.catalog, platform.defaultHandlers, platform.autostart, platform.fileManager},
                            store, Preferences::shared(), channel);
    QObject::connect(&channel, &ResidentChannel::closed, &application, [] { QCoreApplication::exit(0); });
    channel.send(u"ready"_s);
    const int code = QApplication::exec();
    Browsers::setCatalog(nullptr);
    return code;
}
