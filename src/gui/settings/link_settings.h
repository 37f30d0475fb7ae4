#pragma once

#include <QStringList>
#include <QStringView>
#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class RuleStore;

// The "Links" tab: how links are cleaned before the rules see them, edited in the rule store's rewriter. The
// switches, "Apply" and "Reset" are saved at once; typing in the parameter list alone changes nothing.
class LinkSettings final : public QWidget {
    Q_OBJECT

public:
    explicit LinkSettings(RuleStore& store, QWidget* parent = nullptr);

    // The parameter names in text: one per line (any Unicode line break), trimmed of spaces and tabs, blank
    // lines dropped, otherwise as typed.
    static QStringList parseParameters(QStringView text);

    // For tests: the parts a user works with.
    QCheckBox* stripToggle() const { return m_strip; }
    QCheckBox* unwrapToggle() const { return m_unwrap; }
    QCheckBox* upgradeToggle() const { return m_upgrade; }
    QPlainTextEdit* parameterEditor() const { return m_parameters; }
    QPushButton* applyButton() const { return m_apply; }
    QPushButton* resetButton() const { return m_reset; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showRewriter();
    void showParameters();
    void storeParameters(const QStringList& parameters);

    RuleStore& m_store;
    QCheckBox* m_strip = nullptr;
    QWidget* m_parameterRow = nullptr;
    QPlainTextEdit* m_parameters = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_reset = nullptr;
    QCheckBox* m_unwrap = nullptr;
    QCheckBox* m_upgrade = nullptr;
};
