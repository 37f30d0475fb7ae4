#pragma once

#include "about_settings.h"
#include "general_settings.h"
#include "gui/common/single_window.h"
#include "platform/launch_activation.h"

#include <QIcon>
#include <QObject>

#include <functional>

class AutostartEntry;
class DefaultBrowser;
class Preferences;
class QTabWidget;
class RuleStore;

// The settings window: everything that is not a rule, in five tabs. One window, made at the first show and
// kept (closing hides it); every show raises it. Main thread only.
class SettingsWindowController final : public QObject {
    Q_OBJECT

public:
    struct Services {
        Preferences& preferences;
        RuleStore& store;
        DefaultBrowser& defaultBrowser;
        AutostartEntry& autostart;
        GeneralSettings::ApplicationMenuEntry applicationMenuEntry;
        std::function<void()> sendFeedback;
        QString toolPath; // the installed linkherd tool; empty when there is none
        AboutSettings::BuildInfo buildInfo;
        QIcon applicationIcon;
    };

    explicit SettingsWindowController(Services services, QObject* parent = nullptr);

    void show(const LaunchActivation& activation = {});

    // Null until first shown.
    QWidget* window() const { return m_window.window(); }
    QTabWidget* tabs() const { return m_tabs; }

private:
    QWidget* create();

    Services m_services;
    SingleWindow m_window{[this] { return create(); }};
    QTabWidget* m_tabs = nullptr; // the window's content, gone with it
};
