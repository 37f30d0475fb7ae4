#include "feedback_view.h"

#include "gui/common/text_style.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int viewWidth = 460;
constexpr qsizetype shortestMessage = 3;

// The form's type scale is drawn for a 13-point body text; here it scales with the desktop's font.
void setTextSize(QWidget* widget, qreal points, QFont::Weight weight = QFont::Normal)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * points / 13);
    font.setWeight(weight);
    widget->setFont(font);
}

QLabel* symbol(const QString& iconName, const QString& fallback, int size, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(parent);
    const QIcon icon = QIcon::fromTheme(iconName);
    if (icon.isNull()) {
        label->setText(fallback);
        setTextSize(label, size);
        TextStyle::setTextColour(label, colour);
    } else {
        label->setPixmap(icon.pixmap(size, size));
    }
    label->setAccessibleName(QString()); // decoration: the text beside it says it
    return label;
}

// What a reader counts as characters: "é" typed as e and a combining accent is one, so is an emoji.
qsizetype characterCount(const QString& text)
{
    QTextBoundaryFinder boundaries(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (boundaries.toNextBoundary() > 0)
        ++count;
    return count;
}

} // namespace

FeedbackView::FeedbackView(FeedbackService& service, QWidget* parent) : QWidget(parent), m_service(service)
{
    setFixedWidth(viewWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    auto* title = new QLabel(u"Send Feedback"_s, this);
    setTextSize(title, 20, QFont::Bold);
    auto* subtitle = new QLabel(u"What's working, what's broken, what you'd like. It goes straight to me."_s, this);
    subtitle->setWordWrap(true);
    setTextSize(subtitle, 12);
    TextStyle::setTextColour(subtitle, TextStyle::secondary(palette()));
    header->addWidget(title);
    header->addWidget(subtitle);
    layout->addLayout(header);

    m_form = buildForm();
    m_confirmation = buildConfirmation();
    m_confirmation->hide();
    layout->addWidget(m_form);
    layout->addWidget(m_confirmation);
    updateSendButton();
}

QWidget* FeedbackView::buildForm()
{
    auto* form = new QWidget(this);
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);

    auto* picker = new QWidget(form);
    picker->setAccessibleName(u"Type"_s);
    auto* segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    m_categories = new QButtonGroup(picker);
    m_categories->setExclusive(true);
    for (const FeedbackService::Category category : FeedbackService::allCategories) {
        auto* button = new QPushButton(FeedbackService::title(category), picker);
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setAccessibleName(FeedbackService::title(category));
        button->setChecked(category == FeedbackService::Category::feedback);
        m_categories->addButton(button, static_cast<int>(category));
        segments->addWidget(button, 1);
    }
    layout->addWidget(picker);

    m_message = new QPlainTextEdit(form);
    m_message->setAccessibleName(u"Message"_s);
    m_message->setPlaceholderText(u"What's on your mind?"_s);
    m_message->setMinimumHeight(150);
    m_message->setTabChangesFocus(true);
    connect(m_message, &QPlainTextEdit::textChanged, this, &FeedbackView::updateSendButton);
    layout->addWidget(m_message);

    m_email = new QLineEdit(form);
    m_email->setAccessibleName(u"Email"_s);
    m_email->setPlaceholderText(u"Email (optional — if you'd like a reply)"_s);
    layout->addWidget(m_email);

    const bool configured = FeedbackService::isConfigured();
    m_note = new QLabel(configured ? u"Sent with the app's version (%1) and your Linux version, nothing else."_s.arg(
                                         FeedbackService::appVersion())
                                   : u"Feedback isn't available in this build — please use the website."_s,
                        form);
    m_note->setWordWrap(true);
    setTextSize(m_note, 11);
    TextStyle::setTextColour(m_note, TextStyle::secondary(palette()));
    layout->addWidget(m_note);

    m_errorRow = new QWidget(form);
    auto* errorLayout = new QHBoxLayout(m_errorRow);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    const QColor red(0xd7, 0x00, 0x15);
    errorLayout->addWidget(symbol(u"dialog-warning"_s, u"⚠"_s, 16, red, m_errorRow), 0, Qt::AlignTop);
    m_errorText = new QLabel(m_errorRow);
    // The server's own words come from the network: shown as text, never as markup with links and images.
    m_errorText->setTextFormat(Qt::PlainText);
    m_errorText->setWordWrap(true);
    m_errorText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setTextSize(m_errorText, 11);
    TextStyle::setTextColour(m_errorText, red);
    errorLayout->addWidget(m_errorText, 1);
    m_errorRow->hide();
    layout->addWidget(m_errorRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_cancelButton = new QPushButton(u"Cancel"_s, form);
    m_cancelButton->setAccessibleName(u"Cancel"_s);
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &FeedbackView::dismiss);
    buttons->addWidget(m_cancelButton);
    m_sendSlot = new QStackedWidget(form);
    m_sendButton = new QPushButton(u"Send"_s, m_sendSlot);
    m_sendButton->setAccessibleName(u"Send"_s);
    m_sendButton->setToolTip(u"Send (Ctrl+Return)"_s);
    m_sendButton->setAutoDefault(false);
    connect(m_sendButton, &QPushButton::clicked, this, &FeedbackView::send);
    auto* busy = new QProgressBar(m_sendSlot);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setAccessibleName(u"Sending"_s);
    m_busy = busy;
    m_sendSlot->addWidget(m_sendButton);
    m_sendSlot->addWidget(m_busy);
    m_sendSlot->setFixedWidth(m_sendButton->sizeHint().width());
    buttons->addWidget(m_sendSlot);
    layout->addLayout(buttons);

    // The form's shortcuts are live only while the form is on screen.
    for (const QKeyCombination keys : {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(keys), form);
        connect(shortcut, &QShortcut::activated, this, &FeedbackView::send);
    }
    return form;
}

QWidget* FeedbackView::buildConfirmation()
{
    auto* confirmation = new QWidget(this);
    auto* layout = new QVBoxLayout(confirmation);
    layout->setContentsMargins(0, 24, 0, 24);
    layout->setSpacing(14);
    layout->addWidget(symbol(u"emblem-ok-symbolic"_s, u"✔"_s, 40, QColor(0x24, 0x8a, 0x3d), confirmation), 0,
                      Qt::AlignHCenter);
    auto* thanks = new QLabel(u"Thanks — sent."_s, confirmation);
    setTextSize(thanks, 15, QFont::DemiBold);
    layout->addWidget(thanks, 0, Qt::AlignHCenter);
    m_replyLine = new QLabel(confirmation);
    m_replyLine->setTextFormat(Qt::PlainText); // holds the address as typed
    setTextSize(m_replyLine, 11);
    TextStyle::setTextColour(m_replyLine, TextStyle::secondary(palette()));
    layout->addWidget(m_replyLine, 0, Qt::AlignHCenter);
    m_doneButton = new QPushButton(u"Done"_s, confirmation);
    m_doneButton->setAccessibleName(u"Done"_s);
    m_doneButton->setDefault(true);
    connect(m_doneButton, &QPushButton::clicked, this, &FeedbackView::dismiss);
    layout->addWidget(m_doneButton, 0, Qt::AlignHCenter);
    // Done is the default action: Return takes it wherever the focus is.
    for (const QKeyCombination keys : {QKeyCombination(Qt::Key_Return), QKeyCombination(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(QKeySequence(keys), confirmation);
        connect(shortcut, &QShortcut::activated, m_doneButton, &QPushButton::click);
    }
    return confirmation;
}

bool FeedbackView::canSend() const
{
    return !m_sending && !m_sent && FeedbackService::isConfigured() &&
           characterCount(m_message->toPlainText().trimmed()) >= shortestMessage;
}

FeedbackService::Category FeedbackView::category() const
{
    return static_cast<FeedbackService::Category>(m_categories->checkedId());
}

QAbstractButton* FeedbackView::categoryButton(FeedbackService::Category category) const
{
    return m_categories->button(static_cast<int>(category));
}

void FeedbackView::send()
{
    // Ctrl+Return reaches here whether or not Send is enabled.
    if (!canSend())
        return;
    m_sending = true;
    showError(QString());
    updateSendButton();
    const FeedbackService::Submission submission{category(), m_message->toPlainText().trimmed(), m_email->text()};
    m_service.send(submission, this, [this](const FeedbackService::Outcome& outcome) { finishSend(outcome); });
}

void FeedbackView::finishSend(const FeedbackService::Outcome& outcome)
{
    if (outcome) {
        m_sent = true;
        const QString address = FeedbackService::replyAddress(m_email->text());
        m_replyLine->setText(u"I'll reply to %1."_s.arg(address));
        m_replyLine->setVisible(!address.isEmpty());
        m_form->hide();
        m_confirmation->show();
        m_doneButton->setFocus();
    } else {
        showError(outcome.error().description());
    }
    m_sending = false;
    updateSendButton();
}

void FeedbackView::showError(const QString& error)
{
    m_errorText->setText(error);
    m_errorRow->setVisible(!error.isEmpty());
}

void FeedbackView::updateSendButton()
{
    m_sendButton->setEnabled(canSend());
    m_sendSlot->setCurrentWidget(m_sending ? m_busy : m_sendButton);
}

void FeedbackView::dismiss()
{
    if (onDismiss)
        onDismiss();
    else if (QWidget* surrounding = window())
        surrounding->close();
}
