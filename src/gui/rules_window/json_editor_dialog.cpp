#include "json_editor_dialog.h"

#include "gui/common/small_widgets.h"
#include "gui/common/text_style.h"
#include "routing/rule_store.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int margin = 12;

} // namespace

JsonEditorDialog::JsonEditorDialog(RuleStore& store, QWidget* parent) : QDialog(parent), m_store(store)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Edit Rules as JSON"));

    m_text = new QPlainTextEdit(store.jsonText(), this);
    m_text->setAccessibleName(tr("Rules as JSON"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Where the platform names a family only, the hints still find a fixed-pitch one.
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    m_text->setFont(font);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setInputMethodHints(Qt::ImhNoAutoUppercase | Qt::ImhNoPredictiveText);
    // Tab moves on to the buttons, as everywhere else in the window, instead of typing a tab into the JSON.
    m_text->setTabChangesFocus(true);
    m_text->setMinimumSize(520, 380);

    m_error = new QLabel(this);
    m_error->setTextFormat(Qt::PlainText);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->setContentsMargins(margin, margin, margin, margin);
    TextStyle::apply(m_error, TextStyle::Size::callout);
    const QColor orange = TextStyle::orange(palette());
    QColor background = orange;
    background.setAlphaF(0.12f);
    m_error->setAutoFillBackground(true);
    QPalette errorPalette = m_error->palette();
    errorPalette.setColor(QPalette::Window, background);
    m_error->setPalette(errorPalette);
    TextStyle::setTextColour(m_error, orange);
    m_error->hide();

    QFrame* divider = SmallWidgets::divider(this);

    auto* caption = new QLabel(tr("Rules are applied top to bottom; the first match wins."), this);
    caption->setTextFormat(Qt::PlainText);
    TextStyle::apply(caption, TextStyle::Size::caption, TextStyle::Tone::secondary);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setAccessibleName(tr("Cancel"));
    auto* saveButton = new QPushButton(tr("Save"), this);
    saveButton->setAccessibleName(tr("Save"));
    // The default for Return on the buttons; in the text Return is a new line, the editor takes it first.
    saveButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(margin, margin, margin, margin);
    buttons->addWidget(caption);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(saveButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_error);
    layout->addWidget(divider);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(saveButton, &QPushButton::clicked, this, &JsonEditorDialog::save);
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &JsonEditorDialog::save);
    m_text->setFocus();
}

void JsonEditorDialog::save()
{
    const Result<void> applied = m_store.apply(m_text->toPlainText());
    if (applied) {
        accept();
        return;
    }
    m_error->setText(u"⚠ "_s + applied.error());
    m_error->show();
}
