#include "preferences.h"

#include "base/app_folders.h"

#include <QSettings>

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
QStringList readList(const QSettings& settings, QLatin1StringView key)
{
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QString)
        return {value.toString()};
    return {};
}

// Writes through to the file even when nothing changes, so the file always says what the user chose last
// (the command-line tool and a second instance read the file, not this object). True if the value changed.
template <typename T>
bool assign(QSettings& settings, QLatin1StringView key, T& member, const T& value)
{
    settings.setValue(key, QVariant::fromValue(value));
    settings.sync();
    if (member == value)
        return false;
    member = value;
    return true;
}

} // namespace

Preferences::Preferences(const QString& path, QObject* parent)
    : QObject(parent),
      m_settings(new QSettings(path, QSettings::IniFormat, this))
{
    m_launchesAtLogin = readBool(*m_settings, launchesAtLoginKey, m_launchesAtLogin);
    m_showsApplicationMenuEntry = readBool(*m_settings, showsApplicationMenuEntryKey, m_showsApplicationMenuEntry);
    m_showsTrayIcon = readBool(*m_settings, showsTrayIconKey, m_showsTrayIcon);
    m_remembersRecentLinks = readBool(*m_settings, remembersRecentLinksKey, m_remembersRecentLinks);
    m_recentLinkCount = readInt(*m_settings, recentLinkCountKey, m_recentLinkCount);
    m_asksWhenAltHeld = readBool(*m_settings, asksWhenAltHeldKey, m_asksWhenAltHeld);
    m_chooserShowsProfiles = readBool(*m_settings, chooserShowsProfilesKey, m_chooserShowsProfiles);
    m_browserOrder = readList(*m_settings, browserOrderKey);
    m_hasDeclinedDefaultBrowserPrompt =
        readBool(*m_settings, hasDeclinedDefaultBrowserPromptKey, m_hasDeclinedDefaultBrowserPrompt);
    m_keptDefaultBrowser = m_settings->value(keptDefaultBrowserKey).toString();
    m_wasDefaultBrowser = readBool(*m_settings, wasDefaultBrowserKey, m_wasDefaultBrowser);
    // Without the tray icon and the application-menu entry the user could reach Linkherd only by opening it
    // again. The file keeps what was stored, so listing the entry again later brings the user's own choice back.
    if (!m_showsApplicationMenuEntry)
        m_showsTrayIcon = true;
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
    if (assign(*m_settings, launchesAtLoginKey, m_launchesAtLogin, value))
        Q_EMIT launchesAtLoginChanged();
}

void Preferences::setShowsApplicationMenuEntry(bool value)
{
    if (assign(*m_settings, showsApplicationMenuEntryKey, m_showsApplicationMenuEntry, value))
        Q_EMIT showsApplicationMenuEntryChanged();
}

void Preferences::setShowsTrayIcon(bool value)
{
    if (assign(*m_settings, showsTrayIconKey, m_showsTrayIcon, value))
        Q_EMIT showsTrayIconChanged();
}

void Preferences::setRemembersRecentLinks(bool value)
{
    if (assign(*m_settings, remembersRecentLinksKey, m_remembersRecentLinks, value))
        Q_EMIT remembersRecentLinksChanged();
}

void Preferences::setRecentLinkCount(int value)
{
    if (assign(*m_settings, recentLinkCountKey, m_recentLinkCount, value))
        Q_EMIT recentLinkCountChanged();
}

void Preferences::setChooserShowsProfiles(bool value)
{
    if (assign(*m_settings, chooserShowsProfilesKey, m_chooserShowsProfiles, value))
        Q_EMIT chooserShowsProfilesChanged();
}

void Preferences::setAsksWhenAltHeld(bool value)
{
    if (assign(*m_settings, asksWhenAltHeldKey, m_asksWhenAltHeld, value))
        Q_EMIT asksWhenAltHeldChanged();
}

void Preferences::setBrowserOrder(const QStringList& value)
{
    if (assign(*m_settings, browserOrderKey, m_browserOrder, value))
        Q_EMIT browserOrderChanged();
}

void Preferences::setHasDeclinedDefaultBrowserPrompt(bool value)
{
    if (assign(*m_settings, hasDeclinedDefaultBrowserPromptKey, m_hasDeclinedDefaultBrowserPrompt, value))
        Q_EMIT hasDeclinedDefaultBrowserPromptChanged();
}

void Preferences::setKeptDefaultBrowser(const QString& value)
{
    if (assign(*m_settings, keptDefaultBrowserKey, m_keptDefaultBrowser, value))
        Q_EMIT keptDefaultBrowserChanged();
}

void Preferences::setWasDefaultBrowser(bool value)
{
    assign(*m_settings, wasDefaultBrowserKey, m_wasDefaultBrowser, value);
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
