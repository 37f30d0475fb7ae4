#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class RuleStore;

// The whole rules document as JSON text, for changes the list makes tedious. It checks nothing itself: Save hands
// the text to the store, and what the store cannot read is shown above the buttons while the dialog stays open.
// Return in the text is a new line; Ctrl+Return saves.
class JsonEditorDialog final : public QDialog {
    Q_OBJECT

public:
    // Window-modal on parent; the text is the document as the store writes it now.
    explicit JsonEditorDialog(RuleStore& store, QWidget* parent = nullptr);

private:
    void save();

    RuleStore& m_store;
    QPlainTextEdit* m_text;
    QLabel* m_error;
};
