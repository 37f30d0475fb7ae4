#include "small_widgets.h"

#include <QFrame>
#include <QIcon>
#include <QMenu>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

namespace SmallWidgets {

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QToolButton* symbolButton(const QString& iconName, const QString& fallback, const QString& description, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    const QIcon icon = QIcon::fromTheme(iconName);
    if (icon.isNull())
        button->setText(fallback);
    else
        button->setIcon(icon);
    button->setToolTip(description);
    button->setAccessibleName(description);
    return button;
}

void openMenuOnPress(QAbstractButton* button, QMenu* menu)
{
    // A push button given the menu itself would run it in an event loop of its own on every press, a screen
    // reader's included; it draws the arrow instead (PopupMenuButton).
    if (auto* toolButton = qobject_cast<QToolButton*>(button)) {
        toolButton->setMenu(menu);
        toolButton->setPopupMode(QToolButton::DelayedPopup);
    }
    // popup(), not exec(): the press, and a screen reader's call behind it, returns at once.
    QObject::connect(button, &QAbstractButton::clicked, menu,
                     [button, menu] { menu->popup(button->mapToGlobal(QPoint(0, button->height()))); });
}

void PopupMenuButton::initStyleOption(QStyleOptionButton* option) const
{
    QPushButton::initStyleOption(option);
    option->features |= QStyleOptionButton::HasMenu;
}

QSize PopupMenuButton::sizeHint() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    QSize size = QPushButton::sizeHint();
    size.rwidth() += style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &option, this);
    return size;
}

} // namespace SmallWidgets
