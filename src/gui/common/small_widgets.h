#pragma once

#include <QString>

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

// Gives button a menu that opens when it is pressed: by mouse, by keyboard or by a screen reader's "Press".
// A tool button's own InstantPopup mode offers assistive technologies only "ShowMenu", which Qt ignores in that
// mode, so the menu could not be reached without a mouse. Pressed and held, it opens too.
void openMenuOnPress(QToolButton* button, QMenu* menu);

} // namespace SmallWidgets
