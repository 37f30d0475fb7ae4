#include "text_style.h"

#include <QPalette>
#include <QWidget>

namespace TextStyle {

namespace {

void scaleFont(QWidget* widget, double factor)
{
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * factor);
    widget->setFont(font);
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

} // namespace

void makeCaption(QWidget* widget)
{
    scaleFont(widget, 0.85);
}

void makeCallout(QWidget* widget)
{
    scaleFont(widget, 0.93);
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
