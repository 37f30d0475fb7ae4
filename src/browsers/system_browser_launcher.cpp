#include "system_browser_launcher.h"

#include "base/logging.h"
#include "browser_profiles.h"
#include "browser_windows.h"
#include "platform/application_catalog.h"
#include "platform/application_launcher.h"
#include "routing/link_parts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

bool isFieldCode(const QString& argument)
{
    static const QStringList codes = {u"%f"_s, u"%F"_s, u"%u"_s, u"%U"_s, u"%d"_s, u"%D"_s, u"%n"_s,
                                      u"%N"_s, u"%i"_s, u"%c"_s, u"%k"_s, u"%v"_s, u"%m"_s};
    return codes.contains(argument);
}

bool isLinkCode(const QString& argument)
{
    return argument == u"%U"_s || argument == u"%u"_s;
}

bool isExecutable(const QString& program)
{
    if (program.contains(u'/'))
        return QFileInfo(program).isExecutable() && QFileInfo(program).isFile();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

void later(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

// The length of the text in UTF-8, without converting it: a link can be megabytes long.
qsizetype utf8Length(QStringView text)
{
    qsizetype length = 0;
    for (const QChar character : text) {
        const char16_t unit = character.unicode();
        // A surrogate pair is four bytes, two for each half.
        length += unit < 0x80 ? 1 : unit < 0x800 || character.isSurrogate() ? 2 : 3;
    }
    return length;
}

// The options that select the profile; absent for a profile the browser does not list.
std::optional<QStringList> profileOptions(const QString& desktopID, const QString& profile)
{
    if (BrowserProfiles::family(desktopID) == BrowserProfiles::Family::firefox) {
        // The absolute folder, not -P with the name: names need not be unique, and a profile of a group is not in
        // profiles.ini at all. Firefox hands the link to the instance running that profile, if any.
        const std::optional<QString> folder = BrowserProfiles::profileFolder(profile, desktopID);
        if (!folder)
            return std::nullopt;
        return QStringList{u"--profile"_s, *folder};
    }
    // A directory the browser does not know would make it create a new, empty profile under that name; one
    // that cannot be checked ("Local State" unreadable) is tried.
    const QList<BrowserProfiles::Profile> known = BrowserProfiles::profiles(desktopID);
    const bool listed = std::any_of(known.cbegin(), known.cend(), [&](const BrowserProfiles::Profile& candidate) {
        return candidate.directory == profile;
    });
    if (!known.isEmpty() && !listed)
        return std::nullopt;
    return QStringList{u"--profile-directory="_s + profile};
}

} // namespace

QStringList profileLaunchCommand(const QStringList& exec, const QString& flatpakID, const QStringList& options,
                                 const QString& link)
{
    QStringList command;
    if (flatpakID.isEmpty()) {
        for (const QString& argument : exec) {
            if (!isFieldCode(argument))
                command.append(argument == u"%%"_s ? u"%"_s : argument);
        }
        if (!command.isEmpty())
            command << options << link;
        return command;
    }
    bool linkPlaced = false;
    bool optionsPlaced = false;
    for (const QString& argument : exec) {
        if (isLinkCode(argument) && !linkPlaced) {
            command.append(link);
            linkPlaced = true;
        } else if (!isFieldCode(argument)) {
            command.append(argument);
            if (argument == flatpakID && !optionsPlaced) {
                command.append(options);
                optionsPlaced = true;
            }
        }
    }
    if (!optionsPlaced)
        return {};
    if (!linkPlaced)
        command.append(link);
    return command;
}

// The plain opens asked for since the last flush, as launches: consecutive links for one application share one.
struct SystemBrowserLauncher::PendingLaunches final {
    struct Launch {
        QString applicationPath;
        QStringList links;
        QList<BrowserLaunching::FailureHandler> failureHandlers; // one per link
        qsizetype argumentBytes = 0;                             // of ArgumentLimits::allArguments
        HandOverActivation activation;                           // of the hand-over all its links come from
    };

    PendingLaunches(ApplicationLauncher& applicationLauncher, qsizetype allArguments)
        : launcher(applicationLauncher),
          argumentSpace(allArguments)
    {}

    void add(const QString& applicationPath, const QString& link, qsizetype linkBytes,
             const HandOverActivation& activation, BrowserLaunching::FailureHandler onFailure,
             std::function<void()> onSettled)
    {
        const qsizetype cost = ArgumentLimits::argumentCost(linkBytes);
        if (launches.isEmpty() || launches.back().applicationPath != applicationPath ||
            launches.back().activation != activation || launches.back().argumentBytes + cost > argumentSpace)
            launches.append({applicationPath, {}, {}, 0, activation});
        launches.back().argumentBytes += cost;
        launches.back().links.append(link);
        launches.back().failureHandlers.append(std::move(onFailure));
        settled = std::move(onSettled);
    }

    void flush()
    {
        const QList<Launch> due = std::exchange(launches, {});
        scheduled = false;
        for (const Launch& launch : due) {
            // The completion holds copies, not the launcher: it may run after the launcher is gone.
            launcher.openLinks(launch.applicationPath, launch.links, takeActivation(launch.activation),
                               [handlers = launch.failureHandlers, settled = settled](std::optional<QString> error) {
                                   for (const BrowserLaunching::FailureHandler& onFailure : handlers) {
                                       if (error && onFailure)
                                           onFailure(*error);
                                       if (settled)
                                           settled();
                                   }
                               });
        }
    }

    ApplicationLauncher& launcher;
    const qsizetype argumentSpace;
    QList<Launch> launches;
    std::function<void()> settled;
    bool scheduled = false;
};

SystemBrowserLauncher::SystemBrowserLauncher(ApplicationCatalog& catalog, ApplicationLauncher& launcher,
                                             ArgumentLimits limits)
    : m_catalog(catalog),
      m_launcher(launcher),
      m_limits(limits),
      m_pending(std::make_shared<PendingLaunches>(launcher, limits.allArguments))
{}

SystemBrowserLauncher::~SystemBrowserLauncher()
{
    m_pending->flush();
}

void SystemBrowserLauncher::open(const QString& link, const Browsers::Browser& browser,
                                 const std::optional<QString>& profile, Destination::Window window,
                                 const HandOverActivation& activation, FailureHandler onFailure)
{
    if (refuses(link, browser, onFailure))
        return;
    const bool inProfile = profile && !profile->isEmpty() && BrowserProfiles::supportsProfiles(browser.desktopID);
    if (inProfile || window != Destination::Window::usual) {
        // Links asked for earlier go out first.
        m_pending->flush();
        if (launchWithOptions(link, browser, inProfile ? profile : std::nullopt, window, activation)) {
            later([settled = onSettled] {
                if (settled)
                    settled();
            });
            return;
        }
    }
    openPlain(link, browser, activation, std::move(onFailure));
}

void SystemBrowserLauncher::open(const QString& link, const Browsers::Browser& browser, FailureHandler onFailure)
{
    if (!refuses(link, browser, onFailure))
        openPlain(link, browser, nullptr, std::move(onFailure));
}

void SystemBrowserLauncher::launchWaiting()
{
    m_pending->flush();
}

bool SystemBrowserLauncher::refuses(const QString& link, const Browsers::Browser& browser, FailureHandler& onFailure)
{
    QString error;
    // Text that does not begin with a scheme could be taken for an option by the browser ("-…").
    if (!LinkParts::hasScheme(link)) {
        qCCritical(lcLauncher, "Refusing to hand %s something that is not a link", qUtf8Printable(browser.name));
        error = u"This is not a link a browser can open."_s;
    } else if (const qsizetype length = utf8Length(link);
               length > m_limits.longestArgument || ArgumentLimits::argumentCost(length) > m_limits.allArguments) {
        // Spawning would fail anyway ("Argument list too long"), after the cost of trying.
        qCCritical(lcLauncher, "Refusing to hand %s a link of %lld bytes", qUtf8Printable(browser.name),
                   static_cast<long long>(length));
        error = u"The link is too long to hand to a browser: it has %1 bytes, and this system starts a program with "
                u"at most %2 bytes in one argument."_s.arg(length)
                    .arg(std::min(m_limits.longestArgument,
                                  std::max<qsizetype>(0, m_limits.allArguments - ArgumentLimits::argumentCost(0))));
    } else {
        return false;
    }
    later([settled = onSettled, onFailure = std::move(onFailure), error] {
        if (onFailure)
            onFailure(error);
        if (settled)
            settled();
    });
    return true;
}

void SystemBrowserLauncher::openPlain(const QString& link, const Browsers::Browser& browser,
                                      const HandOverActivation& activation, FailureHandler onFailure)
{
    m_pending->add(browser.filePath, link, utf8Length(link), activation, std::move(onFailure), onSettled);
    if (!m_pending->scheduled) {
        m_pending->scheduled = true;
        later([pending = std::weak_ptr<PendingLaunches>(m_pending)] {
            if (const std::shared_ptr<PendingLaunches> alive = pending.lock())
                alive->flush();
        });
    }
}

bool SystemBrowserLauncher::launchWithOptions(const QString& link, const Browsers::Browser& browser,
                                              const std::optional<QString>& profile, Destination::Window window,
                                              const HandOverActivation& activation)
{
    const std::optional<DesktopEntry> entry = m_catalog.application(browser.desktopID);
    QStringList options;
    if (profile) {
        const std::optional<QStringList> selected = profileOptions(browser.desktopID, *profile);
        if (selected)
            options.append(*selected);
        else
            qCWarning(lcLauncher, "%s has no profile %s; opening without a profile", qUtf8Printable(browser.name),
                      qUtf8Printable(*profile));
    }
    if (window != Destination::Window::usual) {
        const std::optional<QStringList> windowed =
            entry ? BrowserWindows::windowOptions(*entry, window) : std::nullopt;
        if (windowed)
            options.append(*windowed);
        else
            qCWarning(lcLauncher, "%s cannot open links in %s; opening it in its usual window",
                      qUtf8Printable(browser.name), qUtf8Printable(BrowserWindows::windowWording(window)));
    }
    if (options.isEmpty())
        return false;

    const QStringList command =
        entry ? profileLaunchCommand(entry->exec, entry->flatpakID, options, link) : QStringList();
    if (command.isEmpty() || !isExecutable(command.front())) {
        qCCritical(lcLauncher, "No executable inside %s; opening the link as its entry says",
                   qUtf8Printable(browser.name));
        return false;
    }
    const Result<void> started = m_launcher.spawnDetached(command, takeActivation(activation));
    if (!started) {
        qCCritical(lcLauncher, "Could not start %s: %s", qUtf8Printable(browser.name), qUtf8Printable(started.error()));
        return false;
    }
    return true;
}
