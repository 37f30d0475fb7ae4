#pragma once

#include "base/result.h"

#include <QWidget>

#include <functional>

class AutostartEntry;
class DefaultBrowser;
class Preferences;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

// The "General" tab: whether Linkherd is the default browser, where it shows itself, starting at login and the
// recent links. What the desktop decides (default browser, autostart) is asked afresh on every refresh, so
// changes made elsewhere show as soon as the user comes back.
class GeneralSettings final : public QWidget {
    Q_OBJECT

public:
    // Linkherd's entry in the application menu as the desktop has it. Asked afresh on every refresh: a reinstall
    // lists a hidden entry again, and the switch follows.
    struct ApplicationMenuEntry {
        std::function<bool()> isShown;
        // Shows or hides it; the text says why it could not.
        std::function<Result<void>(bool shown)> setShown;
    };

    GeneralSettings(Preferences& preferences, DefaultBrowser& defaultBrowser, AutostartEntry& autostart,
                    ApplicationMenuEntry applicationMenuEntry, QWidget* parent = nullptr);

    void refresh();

    // For tests: the parts a user works with.
    QCheckBox* trayToggle() const { return m_tray; }
    QCheckBox* applicationMenuToggle() const { return m_applicationMenu; }
    QCheckBox* loginToggle() const { return m_login; }
    QCheckBox* rememberToggle() const { return m_remember; }
    QComboBox* recentCountPicker() const { return m_recentCount; }
    QToolButton* handBackButton() const { return m_handBack; }
    QPushButton* makeDefaultButton() const { return m_makeDefault; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateLocks();
    void setApplicationMenuShown(bool shown);
    void setLaunchesAtLogin(bool launches);
    void handBackTo(const QString& desktopFilePath);
    void showDefaultState(bool isDefault);

    Preferences& m_preferences;
    DefaultBrowser& m_defaultBrowser;
    AutostartEntry& m_autostart;
    ApplicationMenuEntry m_applicationMenuEntry;
    QLabel* m_defaultState = nullptr;
    QLabel* m_defaultCaption = nullptr;
    QToolButton* m_handBack = nullptr;
    QPushButton* m_makeDefault = nullptr;
    QCheckBox* m_tray = nullptr;
    QCheckBox* m_applicationMenu = nullptr;
    QCheckBox* m_login = nullptr;
    QLabel* m_waitingForApproval = nullptr;
    QCheckBox* m_remember = nullptr;
    QComboBox* m_recentCount = nullptr;
};
