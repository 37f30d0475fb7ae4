#include "form_parts.h"

#include "gui/common/text_style.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QVBoxLayout>

namespace FormParts {

QVBoxLayout* section(const QString& title, QVBoxLayout* tab, QGroupBox** box)
{
    auto* group = new QGroupBox(title, tab->parentWidget());
    group->setAccessibleName(title);
    auto* rows = new QVBoxLayout(group);
    rows->setSpacing(6);
    tab->addWidget(group);
    if (box)
        *box = group;
    return rows;
}

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAccessibleName(text);
    label->setFont(TextStyle::font(label->font(), TextStyle::Size::caption));
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QCheckBox* toggle(const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setAccessibleName(text);
    return box;
}

} // namespace FormParts
