#include "message_box.h"

#include <QGuiApplication>
#include <QList>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

struct Hooks {
    QList<int> answers;
    std::optional<MessageBox::Message> lastShown;
};

Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

QMessageBox::Icon iconFor(MessageBox::Style style)
{
    switch (style) {
    case MessageBox::Style::information:
        return QMessageBox::Information;
    case MessageBox::Style::warning:
        return QMessageBox::Warning;
    case MessageBox::Style::critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::Warning;
}

} // namespace

void MessageBox::open(const Message& message, Answer answered, QWidget* parent)
{
    hooks().lastShown = message;
    if (!hooks().answers.isEmpty()) {
        answered(hooks().answers.takeFirst());
        return;
    }

    auto* box = new QMessageBox(iconFor(message.style), u"Linkherd"_s, message.text, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(message.informativeText);
    QList<QAbstractButton*> buttons;
    for (qsizetype index = 0; index < message.buttons.size(); ++index) {
        const bool isLast = index == message.buttons.size() - 1;
        // Roles only decide where the platform places each button; the answer is always the index.
        const QMessageBox::ButtonRole role = index == 0 ? QMessageBox::AcceptRole
                                             : isLast   ? QMessageBox::RejectRole
                                                        : QMessageBox::ActionRole;
        buttons.append(box->addButton(message.buttons[index], role));
    }
    if (buttons.isEmpty())
        buttons.append(box->addButton(QMessageBox::Ok));
    box->setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    box->setEscapeButton(buttons.last());
    QObject::connect(box, &QDialog::finished, box, [box, buttons, answered = std::move(answered)] {
        const qsizetype chosen = buttons.indexOf(box->clickedButton());
        answered(static_cast<int>(chosen < 0 ? buttons.size() - 1 : chosen));
    });
    // Linkherd usually has no window in front when a link fails, so the alert must come forward itself.
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->show();
    box->raise();
    box->activateWindow();
}

void MessageBox::open(const Router::Alert& alert, Answer answered)
{
    open(Message{Style::warning, alert.message, alert.informativeText, alert.buttons}, std::move(answered));
}

bool MessageBox::canShow()
{
    const QString platform = QGuiApplication::platformName();
    return platform != u"offscreen"_s && platform != u"minimal"_s;
}

void MessageBox::setNextAnswer(int index)
{
    hooks().answers.append(index);
}

std::optional<MessageBox::Message> MessageBox::lastShown()
{
    return hooks().lastShown;
}

void MessageBox::reset()
{
    hooks() = Hooks();
}
