#include "text_style.h"

#include <QPalette>
#include <QWidget>

namespace TextStyle {

namespace {

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

} // namespace

QFont font(QFont font, Size size)
{
    switch (size) {
    case Size::headline:
        font.setBold(true);
        break;
    case Size::body:
        break;
    case Size::callout:
        font.setPointSizeF(font.pointSizeF() * 0.93);
        break;
    case Size::caption:
        font.setPointSizeF(font.pointSizeF() * captionScale);
        break;
    }
    return font;
}

void apply(QWidget* widget, Size size, Tone tone)
{
    widget->setFont(font(widget->font(), size));
    switch (tone) {
    case Tone::primary:
        break;
    case Tone::secondary:
        setTextColour(widget, secondary(widget->palette()));
        break;
    case Tone::tertiary:
        setTextColour(widget, widget->palette().color(QPalette::PlaceholderText));
        break;
    }
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QColor secondary(const QPalette& palette)
{
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.65f);
    return colour;
}

QColor green(const QPalette& palette)
{
    return isDark(palette) ? QColor(0x30, 0xd1, 0x58) : QColor(0x24, 0x8a, 0x3d);
}

QColor orange(const QPalette& palette)
{
    return isDark(palette) ? QColor(0xff, 0x9f, 0x0a) : QColor(0xc9, 0x56, 0x00);
}

} // namespace TextStyle
