#pragma once

#include <QColor>
#include <QFont>

class QPalette;
class QWidget;

// The windows' type scale and their text colours. Colours follow the theme: secondary text is the theme's text
// colour, fainter; tertiary text the theme's lightest, the one it gives placeholders; green and orange take a
// darker shade on light themes and a lighter one on dark themes, so that text in them stays readable on both.
namespace TextStyle {

enum class Size {
    headline, // bold
    body,
    callout, // between body and caption: inline messages
    caption, // help lines and captions
};
enum class Tone { primary, secondary, tertiary };

// How much smaller than body text captions are.
inline constexpr double captionScale = 0.85;

// `font` in that size (for what a delegate paints).
QFont font(QFont font, Size size);
// The widget's text in that size and, unless primary, that tone.
void apply(QWidget* widget, Size size, Tone tone = Tone::primary);
void setTextColour(QWidget* widget, const QColor& colour);

QColor secondary(const QPalette& palette);
QColor green(const QPalette& palette);
QColor orange(const QPalette& palette);

} // namespace TextStyle
