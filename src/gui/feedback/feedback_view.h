#pragma once

#include "feedback/feedback_service.h"

#include <QWidget>

#include <functional>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

// The feedback form: the kind of message, the message, an optional reply address, the privacy note, and Send;
// after a successful send, the confirmation in its place. Editing, sending (a busy indicator where Send was),
// failed (the error under the form, everything typed kept), sent. Main thread.
class FeedbackView final : public QWidget {
    Q_OBJECT

public:
    explicit FeedbackView(FeedbackService& service, QWidget* parent = nullptr);

    // Closes the surrounding window ("Cancel", "Done"); without it, the view's own window is closed.
    std::function<void()> onDismiss;

    // Send enabled: not sending, at least three characters of message besides white space, a configured service.
    bool canSend() const;
    bool isSending() const { return m_sending; }
    bool isSent() const { return m_sent; }
    FeedbackService::Category category() const;

    // For tests and the window: the parts a user works with.
    QAbstractButton* categoryButton(FeedbackService::Category category) const;
    QPlainTextEdit* messageEdit() const { return m_message; }
    QLineEdit* emailField() const { return m_email; }
    QLabel* note() const { return m_note; }
    // Hidden while there is no error.
    QLabel* errorLabel() const { return m_errorText; }
    QPushButton* sendButton() const { return m_sendButton; }
    QWidget* busyIndicator() const { return m_busy; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QWidget* form() const { return m_form; }
    QWidget* confirmation() const { return m_confirmation; }
    // Hidden when no reply address was given.
    QLabel* replyLine() const { return m_replyLine; }
    QPushButton* doneButton() const { return m_doneButton; }

private:
    QWidget* buildForm();
    QWidget* buildConfirmation();
    void send();
    void finishSend(const FeedbackService::Outcome& outcome);
    void showError(const QString& error);
    void updateSendButton();
    void dismiss();

    FeedbackService& m_service;
    bool m_sending = false;
    bool m_sent = false;

    QWidget* m_form = nullptr;
    QButtonGroup* m_categories = nullptr;
    QPlainTextEdit* m_message = nullptr;
    QLineEdit* m_email = nullptr;
    QLabel* m_note = nullptr;
    QWidget* m_errorRow = nullptr;
    QLabel* m_errorText = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QStackedWidget* m_sendSlot = nullptr;
    QPushButton* m_sendButton = nullptr;
    QWidget* m_busy = nullptr;

    QWidget* m_confirmation = nullptr;
    QLabel* m_replyLine = nullptr;
    QPushButton* m_doneButton = nullptr;
};
