#pragma once

#include <QPushButton>
#include <QString>

class QAbstractButton;
class QFrame;
class QMenu;
class QToolButton;
class QWidget;

// Small pieces every window draws the same way.
namespace SmallWidgets {

// A horizontal line between parts of a window.
QFrame* divider(QWidget* parent);

// A button showing only a symbol: the theme's icon, or the fallback character where the theme has none. Its
// description is both the tooltip and what a screen reader says.
QToolButton* symbolButton(const QString& iconName, const QString& fallback, const QString& description,
                          QWidget* parent);

// Gives button a menu that opens when it is pressed: by mouse, by keyboard or by a screen reader's "Press", and
// never in an event loop of its own, so the press (and a screen reader's call behind it) returns at once. A tool
// button's own InstantPopup mode offers assistive technologies only "ShowMenu", which Qt ignores in that mode; a
// push button with a menu of its own runs it with exec(). A tool button pressed and held opens it too; a push
// button should be a PopupMenuButton, which draws the menu's arrow.
void openMenuOnPress(QAbstractButton* button, QMenu* menu);

// A push button drawn and sized as one that opens a menu, for openMenuOnPress.
class PopupMenuButton : public QPushButton {
public:
    using QPushButton::QPushButton;

    QSize sizeHint() const override;

protected:
    void initStyleOption(QStyleOptionButton* option) const override;
};

} // namespace SmallWidgets
