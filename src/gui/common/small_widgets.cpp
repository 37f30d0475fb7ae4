#include "small_widgets.h"

#include <QFrame>
#include <QIcon>
#include <QMenu>
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

void openMenuOnPress(QToolButton* button, QMenu* menu)
{
    button->setMenu(menu);
    button->setPopupMode(QToolButton::DelayedPopup);
    // popup(), not exec(): the press, and a screen reader's call behind it, returns at once.
    QObject::connect(button, &QToolButton::clicked, menu,
                     [button, menu] { menu->popup(button->mapToGlobal(QPoint(0, button->height()))); });
}

} // namespace SmallWidgets
