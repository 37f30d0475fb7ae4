#pragma once

#include "gui/common/single_window.h"
#include "platform/launch_activation.h"

#include <QObject>
#include <QString>

class DefaultBrowser;
class FileManager;
class Preferences;
class RuleStore;
class RulesView;
class QWidget;

// The rules window: made at the first show and kept for the whole run (closing hides it), its place and size
// remembered across runs. Main thread only.
class RulesWindowController final : public QObject {
    Q_OBJECT

public:
    // toolPath: the `linkherd` tool, which the window runs for the Finicky import and export.
    RulesWindowController(RuleStore& store, Preferences& preferences, DefaultBrowser& defaultBrowser,
                          FileManager& fileManager, QString toolPath, QObject* parent = nullptr);

    // Shows the window, made on first use, raised and active, with the activation that came with the request
    // when there is one; refreshes what it shows and emits didOpen.
    void show(const LaunchActivation& activation = {});

    // Null until first shown.
    QWidget* window() const { return m_window.window(); }
    RulesView* view() const { return m_window.window() ? m_view : nullptr; }

Q_SIGNALS:
    // Every show, the first and each later one.
    void didOpen();
    // The window's "Ask for the Next Link", "Settings…" and "Send Feedback…".
    void askNextRequested();
    void settingsRequested();
    void feedbackRequested();

private:
    QWidget* create();

    RuleStore& m_store;
    Preferences& m_preferences;
    DefaultBrowser& m_defaultBrowser;
    FileManager& m_fileManager;
    QString m_toolPath;
    SingleWindow m_window{[this] { return create(); }};
    RulesView* m_view = nullptr; // the window's content, gone with it
};
