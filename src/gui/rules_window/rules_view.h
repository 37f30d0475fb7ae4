#pragma once

#include "base/result.h"
#include "interchange/finicky_config.h"
#include "routing/rule.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QWidget>

#include <chrono>
#include <functional>

class DefaultBrowser;
class DestinationPicker;
class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QToolButton;
class QPushButton;
class RuleRowDelegate;
class RuleStore;
class RulesListModel;
class ToolProcess;

// The rules window's content: the default-browser banner, the "Test a link" field, the rules in evaluation order,
// and the bottom bar (add, delete, the JSON and Finicky menu, the fallback). Keeps no copy of the rules: every
// change goes through the store, and the list follows the store, outside edits included.
class RulesView final : public QWidget {
    Q_OBJECT

public:
    // toolPath: the `linkherd` tool, which does the Finicky import and export (empty: not installed; both then
    // say so).
    RulesView(RuleStore& store, DefaultBrowser& defaultBrowser, std::function<void(const QString&)> showFile,
              QString toolPath, QWidget* parent = nullptr);
    ~RulesView() override;

    // Rescans the browsers when the last scan is 5 s old or more, and asks again whether Linkherd is the default
    // browser.
    void refresh();

    // The rules selected in the list, in list order.
    QList<QUuid> selectedIds() const;
    void select(const QSet<QUuid>& ids);

    // Opens the editor for a new rule; the store sees it only when the editor saves.
    void addRule();
    // Opens the editor for the stored rule with this identifier; nothing when there is none.
    void editRule(const QUuid& id);
    void editJson();
    void deleteRules(const QSet<QUuid>& ids);
    void duplicateRules(const QSet<QUuid>& ids);
    void sendRules(const QSet<QUuid>& ids, const Destination& destination);
    // The editor's save: replaces the rule with the same identifier in place, else appends it.
    void saveRule(const Rule& rule);

    // Both run the `linkherd` tool in a child process, one at a time, while the window stays responsive; hiding
    // the window (closing it) stops the run, and nothing is imported or written by halves.
    void importFromFinicky();
    void exportToFinicky();
    // Whether an import or export is running.
    bool isInterchanging() const { return m_interchange != nullptr; }

    // The context menu for these rules (the clicked row, or the selection it is part of; none: empty space).
    // The caller owns it.
    QMenu* contextMenuFor(const QList<QUuid>& ids);

    // For tests and the window: the parts a user works with.
    QListView* list() const { return m_list; }
    RulesListModel* model() const { return m_model; }
    RuleRowDelegate* delegate() const { return m_delegate; }
    QWidget* banner() const { return m_banner; }
    QWidget* emptyState() const { return m_emptyState; }
    QLineEdit* testField() const { return m_testField; }
    QLabel* testResult() const { return m_testResult; }
    QToolButton* addButton() const { return m_addButton; }
    QToolButton* deleteButton() const { return m_deleteButton; }
    QToolButton* moreButton() const { return m_moreButton; }
    QPushButton* makeDefaultButton() const { return m_makeDefaultButton; }
    DestinationPicker* fallbackPicker() const { return m_fallbackPicker; }
    // The rule the "Test a link" field points at; null when the field is empty or the fallback decides.
    QUuid decidingRule() const { return m_decidingRule; }
    // The rule editor or JSON editor on screen; null when neither is.
    QDialog* openDialog() const { return m_dialog; }

Q_SIGNALS:
    // "Settings…" and "Send Feedback…": those windows belong to the application, not to this window.
    void askNextRequested();
    void settingsRequested();
    void feedbackRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildBanner();
    void buildBottomBar();
    void showContextMenu(const QPoint& position);
    void updateEmptyState();
    void updateDeleteButton();
    void updateTest();
    void setDefaultBrowser(bool isDefault);
    void importFile(const QString& path);
    void confirmImport(const QString& path, const FinickyConfig::Imported& imported);
    void exportFile(const QString& path);
    // Runs the tool with these arguments; done gets its output, or the text that says why there is none.
    void runTool(const QStringList& arguments, std::chrono::milliseconds timeLimit,
                 std::function<void(const Result<QByteArray>&)> done);
    void stopTool();
    // One sheet at a time: a second request brings the one on screen forward.
    bool raiseOpenDialog();
    void editRule(const Rule& rule);

    RuleStore& m_store;
    DefaultBrowser& m_defaultBrowser;
    std::function<void(const QString&)> m_showFile;
    QString m_toolPath;
    ToolProcess* m_interchange = nullptr;
    QList<QAction*> m_interchangeActions;
    RulesListModel* m_model;
    RuleRowDelegate* m_delegate;
    QWidget* m_banner = nullptr;
    QPushButton* m_makeDefaultButton = nullptr;
    QLineEdit* m_testField = nullptr;
    QLabel* m_testResult = nullptr;
    QListView* m_list = nullptr;
    QWidget* m_emptyState = nullptr;
    QToolButton* m_addButton = nullptr;
    QToolButton* m_deleteButton = nullptr;
    QToolButton* m_moreButton = nullptr;
    DestinationPicker* m_fallbackPicker = nullptr;
    QUuid m_decidingRule;
    QList<QUuid> m_selectionBeforeReset;
    QPointer<QDialog> m_dialog;
};
