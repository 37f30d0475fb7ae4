#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QSettings;

// The user's settings that are not part of the rules, one key each in
// $XDG_CONFIG_HOME/linkherd/preferences.ini. Assigning writes the key at once; observers hear of a change
// only when the value differs. Main thread only.
class Preferences final : public QObject {
    Q_OBJECT

public:
    // Reads every setting from the INI file at path (missing or unreadable values give the defaults).
    explicit Preferences(const QString& path, QObject* parent = nullptr);
    ~Preferences() override;

    // $XDG_CONFIG_HOME/linkherd/preferences.ini
    static QString defaultPath();
    // The application's instance, over defaultPath(), created on first use.
    static Preferences& shared();

    bool launchesAtLogin() const { return m_launchesAtLogin; }
    void setLaunchesAtLogin(bool value);
    bool showsApplicationMenuEntry() const { return m_showsApplicationMenuEntry; }
    void setShowsApplicationMenuEntry(bool value);
    bool showsTrayIcon() const { return m_showsTrayIcon; }
    void setShowsTrayIcon(bool value);
    bool remembersRecentLinks() const { return m_remembersRecentLinks; }
    void setRemembersRecentLinks(bool value);
    int recentLinkCount() const { return m_recentLinkCount; }
    void setRecentLinkCount(int value);
    bool asksWhenAltHeld() const { return m_asksWhenAltHeld; }
    void setAsksWhenAltHeld(bool value);
    // The chooser offers each profile of a browser that has two or more as a row of its own.
    bool chooserShowsProfiles() const { return m_chooserShowsProfiles; }
    void setChooserShowsProfiles(bool value);
    const QStringList& browserOrder() const { return m_browserOrder; }
    void setBrowserOrder(const QStringList& value);
    bool hasDeclinedDefaultBrowserPrompt() const { return m_hasDeclinedDefaultBrowserPrompt; }
    void setHasDeclinedDefaultBrowserPrompt(bool value);
    // The desktop file ID of the browser the user chose to keep when it took the default from Linkherd: the
    // guard stays quiet while it is set. Empty when there is none; cleared once Linkherd is the default again.
    const QString& keptDefaultBrowser() const { return m_keptDefaultBrowser; }
    void setKeptDefaultBrowser(const QString& value);
    // Whether Linkherd was the default browser when the guard last looked, so that a takeover while Linkherd was
    // not running is told at the next start.
    bool wasDefaultBrowser() const { return m_wasDefaultBrowser; }
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
    QSettings* m_settings;
    bool m_launchesAtLogin = false;
    bool m_showsApplicationMenuEntry = false;
    bool m_showsTrayIcon = true;
    bool m_remembersRecentLinks = true;
    int m_recentLinkCount = 5;
    bool m_asksWhenAltHeld = true;
    bool m_chooserShowsProfiles = false;
    QStringList m_browserOrder;
    bool m_hasDeclinedDefaultBrowserPrompt = false;
    QString m_keptDefaultBrowser;
    bool m_wasDefaultBrowser = false;
};
