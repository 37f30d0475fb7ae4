#pragma once

#include <QString>

class QFrame;
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

} // namespace SmallWidgets
