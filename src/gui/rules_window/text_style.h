#pragma once

#include <QColor>

class QPalette;
class QWidget;

// The rules window's type scale and its signal colours. Colours follow the theme: secondary text is the theme's
// text colour, fainter; green and orange take a darker shade on light themes and a lighter one on dark themes, so
// that text in them stays readable on both.
namespace TextStyle {

// A smaller font for help lines and captions.
void makeCaption(QWidget* widget);
// Between body and caption: inline messages.
void makeCallout(QWidget* widget);
void setTextColour(QWidget* widget, const QColor& colour);

QColor secondary(const QPalette& palette);
QColor green(const QPalette& palette);
QColor orange(const QPalette& palette);

} // namespace TextStyle
