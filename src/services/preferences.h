#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QObject>
#include <QString>
#include <QStringList>

class DirectoryWatcher;
class QSettings;
class QTimer;

// The user's settings that are not part of the rules, one key each in
// $XDG_CONFIG_HOME/linkherd/preferences.ini. Assigning writes the key at once; observers hear of a change
// only when the value differs. The file is shared (the resident, the windows, the tool, a text editor): a
// change another process makes is taken over from the event loop and heard as one made here. Main thread only.
class Preferences final : public QObject {
    Q_OBJECT

public:
    // Reads every setting from the INI file at path (missing or unreadable values give the defaults), and
    // follows the file from the event loop's first turn on.
    explicit Preferences(const QString& path, QObject* parent = nullptr);
    ~Preferences() override;

    // $XDG_CONFIG_HOME/linkherd/preferences.ini
    static QString defaultPath();
    // The application's instance, over defaultPath(), created on first use.
    static Preferences& shared();

    bool launchesAtLogin() const { return m_values.launchesAtLogin; }
    void setLaunchesAtLogin(bool value);
    bool showsApplicationMenuEntry() const { return m_values.showsApplicationMenuEntry; }
    void setShowsApplicationMenuEntry(bool value);
    bool showsTrayIcon() const { return m_values.showsTrayIcon; }
    void setShowsTrayIcon(bool value);
    bool remembersRecentLinks() const { return m_values.remembersRecentLinks; }
    void setRemembersRecentLinks(bool value);
    int recentLinkCount() const { return m_values.recentLinkCount; }
    void setRecentLinkCount(int value);
    bool asksWhenAltHeld() const { return m_values.asksWhenAltHeld; }
    void setAsksWhenAltHeld(bool value);
    // The chooser offers each profile of a browser that has two or more as a row of its own.
    bool chooserShowsProfiles() const { return m_values.chooserShowsProfiles; }
    void setChooserShowsProfiles(bool value);
    const QStringList& browserOrder() const { return m_values.browserOrder; }
    void setBrowserOrder(const QStringList& value);
    bool hasDeclinedDefaultBrowserPrompt() const { return m_values.hasDeclinedDefaultBrowserPrompt; }
    void setHasDeclinedDefaultBrowserPrompt(bool value);
    // The desktop file ID of the browser the user chose to keep when it took the default from Linkherd: the
    // guard stays quiet while it is set. Empty when there is none; cleared once Linkherd is the default again.
    const QString& keptDefaultBrowser() const { return m_values.keptDefaultBrowser; }
    void setKeptDefaultBrowser(const QString& value);
    // Whether Linkherd was the default browser when the guard last looked, so that a takeover while Linkherd was
    // not running is told at the next start.
    bool wasDefaultBrowser() const { return m_values.wasDefaultBrowser; }
    void setWasDefaultBrowser(bool value);
    // The rules window's place and size, as QWidget::saveGeometry gives them; empty until it was first closed.
    QByteArray rulesWindowGeometry() const;
    void setRulesWindowGeometry(const QByteArray& geometry);

Q_SIGNALS:
    void launchesAtLoginChanged();
    void showsApplicationMenuEntryChanged();
    void showsTrayIconChanged();
    void remembersRecentLinksChanged();
    void recentLinkCountChanged();
    void asksWhenAltHeldChanged();
    void chooserShowsProfilesChanged();
    void browserOrderChanged();
    void hasDeclinedDefaultBrowserPromptChanged();
    void keptDefaultBrowserChanged();

private:
    struct Values {
        bool launchesAtLogin = false;
        bool showsApplicationMenuEntry = false;
        bool showsTrayIcon = true;
        bool remembersRecentLinks = true;
        int recentLinkCount = 5;
        bool asksWhenAltHeld = true;
        bool chooserShowsProfiles = false;
        QStringList browserOrder;
        bool hasDeclinedDefaultBrowserPrompt = false;
        QString keptDefaultBrowser;
        bool wasDefaultBrowser = false;
    };

    // The values the file holds; what it lacks or holds in a shape not its key's keeps its value in fallback.
    static Values read(const QSettings& settings, const Values& fallback);
    template <typename T>
    bool assign(QLatin1StringView key, T& member, const T& value);
    void startWatching();
    void rereadFile();

    QString m_path;
    QSettings* m_settings;
    Values m_values;
    DirectoryWatcher* m_watcher = nullptr;
    bool m_watchWanted = false;
    QTimer* m_reread;
};
