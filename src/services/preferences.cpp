#include "preferences.h"

#include "base/app_folders.h"
#include "base/directory_watcher.h"
#include "base/logging.h"

#include <QFileInfo>
#include <QSettings>
#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr auto launchesAtLoginKey = "launchesAtLogin"_L1;
constexpr auto showsApplicationMenuEntryKey = "showsDockIcon"_L1;
constexpr auto showsTrayIconKey = "showsMenuBarIcon"_L1;
constexpr auto remembersRecentLinksKey = "remembersRecentLinks"_L1;
constexpr auto recentLinkCountKey = "recentLinkCount"_L1;
constexpr auto asksWhenAltHeldKey = "asksWhenOptionHeld"_L1;
constexpr auto chooserShowsProfilesKey = "chooserShowsProfiles"_L1;
constexpr auto browserOrderKey = "browserOrder"_L1;
constexpr auto hasDeclinedDefaultBrowserPromptKey = "hasDeclinedDefaultBrowserPrompt"_L1;
constexpr auto keptDefaultBrowserKey = "keptDefaultBrowser"_L1;
constexpr auto wasDefaultBrowserKey = "wasDefaultBrowser"_L1;
constexpr auto rulesWindowKey = "RulesWindow"_L1;

// An INI file keeps no types: a value set in this process comes back typed, one read from the file comes
// back as text. Only the words QSettings itself writes count as a Boolean; "1" or "yes" are some other
// program's convention, and guessing at them could, say, turn on launching at login behind the user's back.
bool readBool(const QSettings& settings, QLatin1StringView key, bool fallback)
{
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == "true"_L1)
            return true;
        if (text == "false"_L1)
            return false;
    }
    return fallback;
}

int readInt(const QSettings& settings, QLatin1StringView key, int fallback)
{
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::Int)
        return value.toInt();
    if (value.typeId() == QMetaType::QString) {
        bool ok = false;
        const int number = value.toString().toInt(&ok);
        if (ok)
            return number;
    }
    return fallback;
}

// QSettings writes a list as comma-separated text (quoting elements with commas or outer spaces), an empty
// list as "@Invalid()", which reads back as nothing, and a one-element list as that element alone, which
// reads back as a plain string. Taking each of those shapes back makes every list survive the file.
QStringList readList(const QSettings& settings, QLatin1StringView key, const QStringList& fallback)
{
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QString)
        return {value.toString()};
    if (!value.isValid() && settings.contains(key))
        return {};
    return fallback;
}

QString readString(const QSettings& settings, QLatin1StringView key, const QString& fallback)
{
    const QVariant value = settings.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : fallback;
}

} // namespace

// Writes through to the file even when nothing changes, so the file always says what the user chose last
// (the command-line tool and the other Linkherd process read the file, not this object). Only this key is
// written: QSettings reads the file again before it saves, so what another process wrote meanwhile stays.
// True if the value changed.
template <typename T>
bool Preferences::assign(QLatin1StringView key, T& member, const T& value)
{
    m_settings->setValue(key, QVariant::fromValue(value));
    m_settings->sync();
    if (m_watcher == nullptr && m_watchWanted)
        startWatching();
    if (member == value)
        return false;
    member = value;
    return true;
}

Preferences::Preferences(const QString& path, QObject* parent)
    : QObject(parent),
      m_path(path),
      m_settings(new QSettings(path, QSettings::IniFormat, this)),
      m_values(read(*m_settings, Values())),
      m_reread(new QTimer(this))
{
    // Saving is a burst of events (QSettings' temporary file, its lock, the rename; an editor's backup): the
    // file is read once the burst is over.
    m_reread->setSingleShot(true);
    m_reread->setInterval(50);
    connect(m_reread, &QTimer::timeout, this, &Preferences::rereadFile);
    // Not before the event loop runs: the links that started the resident are routed first, and a process that
    // never runs one (the tool) has no one to tell.
    QTimer::singleShot(0, this, &Preferences::startWatching);
}

Preferences::Values Preferences::read(const QSettings& settings, const Values& fallback)
{
    Values values;
    values.launchesAtLogin = readBool(settings, launchesAtLoginKey, fallback.launchesAtLogin);
    values.showsApplicationMenuEntry =
        readBool(settings, showsApplicationMenuEntryKey, fallback.showsApplicationMenuEntry);
    values.showsTrayIcon = readBool(settings, showsTrayIconKey, fallback.showsTrayIcon);
    values.remembersRecentLinks = readBool(settings, remembersRecentLinksKey, fallback.remembersRecentLinks);
    values.recentLinkCount = readInt(settings, recentLinkCountKey, fallback.recentLinkCount);
    values.asksWhenAltHeld = readBool(settings, asksWhenAltHeldKey, fallback.asksWhenAltHeld);
    values.chooserShowsProfiles = readBool(settings, chooserShowsProfilesKey, fallback.chooserShowsProfiles);
    values.browserOrder = readList(settings, browserOrderKey, fallback.browserOrder);
    values.hasDeclinedDefaultBrowserPrompt =
        readBool(settings, hasDeclinedDefaultBrowserPromptKey, fallback.hasDeclinedDefaultBrowserPrompt);
    values.keptDefaultBrowser = readString(settings, keptDefaultBrowserKey, fallback.keptDefaultBrowser);
    values.wasDefaultBrowser = readBool(settings, wasDefaultBrowserKey, fallback.wasDefaultBrowser);
    // Without the tray icon and the application-menu entry the user could reach Linkherd only by opening it
    // again. The file keeps what was stored, so listing the entry again later brings the user's own choice back.
    // Applied at every read, so that each process reading the file shows the same.
    if (!values.showsApplicationMenuEntry)
        values.showsTrayIcon = true;
    return values;
}

void Preferences::startWatching()
{
    m_watchWanted = true;
    if (m_watcher)
        return;
    // QSettings saves by renaming a new file over the old one, which a watch on the file itself would lose.
    auto* watcher = new DirectoryWatcher(this);
    const QFileInfo file(m_path);
    if (const Result<void> watching = watcher->watch(file.absolutePath()); !watching) {
        // No folder yet (nothing saved so far): the first assignment makes it and tries again.
        qCDebug(lcApp, "Not following %s: %s", qUtf8Printable(m_path), qUtf8Printable(watching.error()));
        delete watcher;
        return;
    }
    connect(watcher, &DirectoryWatcher::entriesChanged, this, [this, name = file.fileName()](const QStringList& names) {
        // An empty name: the kernel dropped events, so the file may have changed too.
        if (names.contains(name) || names.contains(QString()))
            m_reread->start();
    });
    m_watcher = watcher;
}

void Preferences::rereadFile()
{
    // A file that is gone or cannot be read says nothing about the user's choices (and QSettings would forget
    // what it has read), so the values stay as they are.
    const QFileInfo file(m_path);
    if (!file.isFile() || !file.isReadable())
        return;
    // QSettings reads the file again only when its size or time changed; this process's own writes are already
    // what the values hold, so they change nothing here. Values are taken over directly, never assigned: a change
    // read from the file is not written back.
    m_settings->sync();
    const Values old = std::exchange(m_values, read(*m_settings, m_values));
    const auto changed = [&](auto member) { return old.*member != m_values.*member; };
    // Observers hear of the changes once all are taken over, so that none sees half of them.
    if (changed(&Values::launchesAtLogin))
        Q_EMIT launchesAtLoginChanged();
    if (changed(&Values::showsApplicationMenuEntry))
        Q_EMIT showsApplicationMenuEntryChanged();
    if (changed(&Values::showsTrayIcon))
        Q_EMIT showsTrayIconChanged();
    if (changed(&Values::remembersRecentLinks))
        Q_EMIT remembersRecentLinksChanged();
    if (changed(&Values::recentLinkCount))
        Q_EMIT recentLinkCountChanged();
    if (changed(&Values::asksWhenAltHeld))
        Q_EMIT asksWhenAltHeldChanged();
    if (changed(&Values::chooserShowsProfiles))
        Q_EMIT chooserShowsProfilesChanged();
    if (changed(&Values::browserOrder))
        Q_EMIT browserOrderChanged();
    if (changed(&Values::hasDeclinedDefaultBrowserPrompt))
        Q_EMIT hasDeclinedDefaultBrowserPromptChanged();
    if (changed(&Values::keptDefaultBrowser))
        Q_EMIT keptDefaultBrowserChanged();
}

Preferences::~Preferences() = default;

QString Preferences::defaultPath()
{
    return AppFolders::configFile(u"preferences.ini");
}

Preferences& Preferences::shared()
{
    static Preferences instance(defaultPath());
    return instance;
}

void Preferences::setLaunchesAtLogin(bool value)
{
    if (assign(launchesAtLoginKey, m_values.launchesAtLogin, value))
        Q_EMIT launchesAtLoginChanged();
}

void Preferences::setShowsApplicationMenuEntry(bool value)
{
    if (assign(showsApplicationMenuEntryKey, m_values.showsApplicationMenuEntry, value))
        Q_EMIT showsApplicationMenuEntryChanged();
}

void Preferences::setShowsTrayIcon(bool value)
{
    if (assign(showsTrayIconKey, m_values.showsTrayIcon, value))
        Q_EMIT showsTrayIconChanged();
}

void Preferences::setRemembersRecentLinks(bool value)
{
    if (assign(remembersRecentLinksKey, m_values.remembersRecentLinks, value))
        Q_EMIT remembersRecentLinksChanged();
}

void Preferences::setRecentLinkCount(int value)
{
    if (assign(recentLinkCountKey, m_values.recentLinkCount, value))
        Q_EMIT recentLinkCountChanged();
}

void Preferences::setChooserShowsProfiles(bool value)
{
    if (assign(chooserShowsProfilesKey, m_values.chooserShowsProfiles, value))
        Q_EMIT chooserShowsProfilesChanged();
}

void Preferences::setAsksWhenAltHeld(bool value)
{
    if (assign(asksWhenAltHeldKey, m_values.asksWhenAltHeld, value))
        Q_EMIT asksWhenAltHeldChanged();
}

void Preferences::setBrowserOrder(const QStringList& value)
{
    if (assign(browserOrderKey, m_values.browserOrder, value))
        Q_EMIT browserOrderChanged();
}

void Preferences::setHasDeclinedDefaultBrowserPrompt(bool value)
{
    if (assign(hasDeclinedDefaultBrowserPromptKey, m_values.hasDeclinedDefaultBrowserPrompt, value))
        Q_EMIT hasDeclinedDefaultBrowserPromptChanged();
}

void Preferences::setKeptDefaultBrowser(const QString& value)
{
    if (assign(keptDefaultBrowserKey, m_values.keptDefaultBrowser, value))
        Q_EMIT keptDefaultBrowserChanged();
}

void Preferences::setWasDefaultBrowser(bool value)
{
    assign(wasDefaultBrowserKey, m_values.wasDefaultBrowser, value);
}

QByteArray Preferences::rulesWindowGeometry() const
{
    // Read when asked: the window's place is nobody's setting to observe.
    return m_settings->value(rulesWindowKey).toByteArray();
}

void Preferences::setRulesWindowGeometry(const QByteArray& geometry)
{
    m_settings->setValue(rulesWindowKey, geometry);
}
