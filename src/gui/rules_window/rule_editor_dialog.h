#pragma once

#include "routing/rule.h"

#include <QDialog>

class DestinationPicker;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The editor of one rule: its match kind, pattern, source applications and destination. It edits a copy and
// never touches the store; whoever opens it decides what saving means. Whether the rule is on is not edited
// here: the copy keeps the value it came with.
class RuleEditorDialog final : public QDialog {
    Q_OBJECT

public:
    static constexpr int fixedWidth = 460;

    // Window-modal on parent.
    explicit RuleEditorDialog(const Rule& rule, QWidget* parent = nullptr);

    // The working copy.
    const Rule& rule() const { return m_rule; }

Q_SIGNALS:
    // Save: the finished rule, its pattern trimmed, right before the dialog accepts.
    void saved(const Rule& rule);

private:
    void save();
    void chooseApplications();
    void addSources(const QStringList& desktopIDs);
    void removeSource(const QString& desktopID);
    void updateMatch();
    void updateValidity();
    void updateSources();
    // Offers the windows the chosen browser can open, keeping the chosen one while it can; hidden when there is
    // no choice.
    void updateWindows();
    void pickDestination(const Destination& destination);

    Rule m_rule;
    QComboBox* m_match;
    QLineEdit* m_pattern;
    QLabel* m_help;
    QVBoxLayout* m_sourceRows;
    DestinationPicker* m_destination;
    QLabel* m_windowLabel;
    QComboBox* m_window;
    QPushButton* m_save;
};
