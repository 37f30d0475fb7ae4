#include "rule_row_delegate.h"

#include "browsers/browser_profiles.h"
#include "browsers/browser_windows.h"
#include "browsers/browsers.h"
#include "gui/common/browser_icons.h"
#include "gui/common/destination_menu_items.h"
#include "gui/common/text_style.h"
#include "routing/rule.h"
#include "routing/rule_store.h"
#include "rules_list_model.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

using namespace Qt::StringLiterals;

namespace {

constexpr int padding = 6;
constexpr int spacing = 10;
constexpr int destinationSpacing = 6;
constexpr int iconSize = 16;

// The rule the row shows; the model hands out only identifiers and texts, the store holds the rule.
const Rule* ruleAt(const QModelIndex& index)
{
    const auto* model = qobject_cast<const RulesListModel*>(index.model());
    if (!model || index.row() < 0 || index.row() >= model->store().rules().size())
        return nullptr;
    return &model->store().rules().at(index.row());
}

QString destinationName(const Destination& destination)
{
    if (destination.isAsk())
        return u"Ask"_s;
    return Browsers::displayName(destination.desktopID());
}

// What follows the browser's name: the profile and the window, "Work, private window".
QString profileText(const Destination& destination)
{
    if (!destination.isBrowser())
        return {};
    QStringList parts;
    if (destination.profile())
        parts.append(BrowserProfiles::profileName(*destination.profile(), destination.desktopID()));
    if (const QString window = BrowserWindows::windowSuffix(destination.window()); !window.isEmpty())
        parts.append(window);
    return parts.join(u", "_s);
}

// Where each part of a row goes, from the right edge inwards: the destination keeps its width, the texts are
// cut.
struct RowLayout final {
    QRect check;
    QRect texts;
    QRect arrow;
    QRect icon; // empty when nothing is drawn
    QRect name;
    QRect profile;
    QRect warning;
};

RowLayout layoutRow(const QStyleOptionViewItem& option, const Rule& rule, const QStyle* style)
{
    RowLayout layout;
    const QRect area = option.rect.adjusted(padding, 0, -padding, 0);
    const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget);
    layout.check = QRect(area.left(), area.center().y() - indicator / 2, indicator, indicator);

    const QFontMetrics metrics(option.font);
    int right = area.right() + 1;
    const auto takeFromRight = [&right, &area](int width) {
        const QRect taken(right - width, area.top(), width, area.height());
        right -= width + destinationSpacing;
        return taken;
    };
    const Destination& destination = rule.destination;
    if (destination.isBrowser() && !Browsers::browser(destination.desktopID()))
        layout.warning = takeFromRight(iconSize);
    // Advances are rounded down: a rectangle of exactly that width would cut the text.
    const auto widthOf = [&metrics](const QString& text) { return metrics.boundingRect(text).width() + 2; };
    if (const QString profile = profileText(destination); !profile.isEmpty())
        layout.profile = takeFromRight(std::min(widthOf(profile), area.width() / 6));
    layout.name = takeFromRight(std::min(widthOf(destinationName(destination)), area.width() / 4));
    const bool hasIcon = destination.isAsk() ? !DestinationMenuItems::askIcon().isNull()
                                             : !BrowserIcons::icon(destination.desktopID(), iconSize).isNull();
    if (hasIcon)
        layout.icon = takeFromRight(iconSize);
    right += destinationSpacing - spacing;
    const int arrowWidth = metrics.horizontalAdvance(u"→"_s);
    layout.arrow = QRect(right - arrowWidth, area.top(), arrowWidth, area.height());
    right -= arrowWidth + spacing;
    const int textLeft = layout.check.right() + 1 + spacing;
    layout.texts = QRect(textLeft, area.top(), std::max(0, right - textLeft), area.height());
    return layout;
}

void drawIcon(QPainter* painter, const QIcon& icon, const QRect& rect)
{
    if (rect.isEmpty() || icon.isNull())
        return;
    const QRect square(rect.left(), rect.center().y() - iconSize / 2, iconSize, iconSize);
    icon.paint(painter, square);
}

} // namespace

QString RuleRowDelegate::sourcesText(const Rule& rule)
{
    if (rule.sourceDesktopIDs.isEmpty())
        return {};
    QStringList names;
    for (const QString& id : rule.sourceDesktopIDs)
        names.append(Browsers::displayName(id));
    return u"from "_s + names.join(u", "_s);
}

QString RuleRowDelegate::missingBrowserText(const Rule& rule)
{
    if (!rule.destination.isBrowser() || Browsers::browser(rule.destination.desktopID()))
        return {};
    return Browsers::displayName(rule.destination.desktopID()) +
           u" is not installed. Links matching this rule go to the fallback instead."_s;
}

QString RuleRowDelegate::toggleToolTip(bool isEnabled)
{
    return isEnabled ? u"Rule is active"_s : u"Rule is ignored"_s;
}

QString RuleRowDelegate::spokenText(const Rule& rule)
{
    QString text = rule.summary();
    if (const QString sources = sourcesText(rule); !sources.isEmpty())
        text += u", "_s + sources;
    if (rule.destination.isAsk()) {
        text += u", ask every time"_s;
    } else {
        text += u", to "_s + destinationName(rule.destination);
        if (const QString profile = profileText(rule.destination); !profile.isEmpty())
            text += u" ("_s + profile + u')';
    }
    if (const QString missing = missingBrowserText(rule); !missing.isEmpty())
        text += u". "_s + missing;
    return text;
}

QRect RuleRowDelegate::checkBoxRect(const QStyleOptionViewItem& option) const
{
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget);
    return QRect(option.rect.left() + padding, option.rect.center().y() - indicator / 2, indicator, indicator);
}

void RuleRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const Rule* rule = ruleAt(index);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
    // The selection and focus background, without the standard text and check box.
    item.text.clear();
    item.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
    if (index.data(RulesListModel::isDecidingRole).toBool()) {
        QColor tint = option.palette.color(QPalette::Highlight);
        tint.setAlphaF(0.25f);
        painter->fillRect(option.rect, tint);
    }
    if (!rule)
        return;

    painter->save();
    if (!rule->isEnabled)
        painter->setOpacity(0.5);
    const RowLayout layout = layoutRow(option, *rule, style);
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QColor text = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = text;
    secondary.setAlphaF(0.7f);
    QColor tertiary = text;
    tertiary.setAlphaF(0.45f);

    QStyleOptionButton check;
    check.rect = layout.check;
    check.state = (rule->isEnabled ? QStyle::State_On : QStyle::State_Off) | QStyle::State_Enabled;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, item.widget);

    const QFontMetrics metrics(option.font);
    const QString sources = sourcesText(*rule);
    const QFont caption = TextStyle::font(option.font, TextStyle::Size::caption);
    const QFontMetrics captionMetrics(caption);
    const int textHeight = metrics.height() + (sources.isEmpty() ? 0 : 2 + captionMetrics.height());
    QRect line(layout.texts.left(), layout.texts.center().y() - textHeight / 2, layout.texts.width(), metrics.height());
    painter->setPen(text);
    painter->drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(rule->summary(), Qt::ElideRight, line.width()));
    if (!sources.isEmpty()) {
        painter->setFont(caption);
        painter->setPen(secondary);
        const QRect second(line.left(), line.bottom() + 3, line.width(), captionMetrics.height());
        painter->drawText(second, Qt::AlignLeft | Qt::AlignVCenter,
                          captionMetrics.elidedText(sources, Qt::ElideRight, second.width()));
        painter->setFont(option.font);
    }

    painter->setPen(tertiary);
    painter->drawText(layout.arrow, Qt::AlignCenter, u"→"_s);

    const Destination& destination = rule->destination;
    drawIcon(painter,
             destination.isAsk() ? DestinationMenuItems::askIcon()
                                 : BrowserIcons::icon(destination.desktopID(), iconSize),
             layout.icon);
    painter->setPen(destination.isAsk() ? secondary : text);
    painter->drawText(layout.name, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(destinationName(destination), Qt::ElideRight, layout.name.width()));
    if (!layout.profile.isEmpty()) {
        painter->setPen(secondary);
        painter->drawText(layout.profile, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(profileText(destination), Qt::ElideRight, layout.profile.width()));
    }
    drawIcon(painter, style->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, item.widget), layout.warning);
    painter->restore();
}

QSize RuleRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const Rule* rule = ruleAt(index);
    const QFontMetrics metrics(option.font);
    int height = std::max(metrics.height(), iconSize);
    if (rule && !rule->sourceDesktopIDs.isEmpty())
        height = metrics.height() + 2 + QFontMetrics(TextStyle::font(option.font, TextStyle::Size::caption)).height();
    return QSize(200, height + 2 * 3 + 4);
}

bool RuleRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    if (!(index.flags() & Qt::ItemIsUserCheckable))
        return false;
    const auto toggle = [&] {
        const bool isOn = index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
        return model->setData(index, isOn ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    };
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !checkBoxRect(option).contains(mouse->position().toPoint()))
            return false;
        // The press and a double click on the box only toggle, they neither select nor open the editor.
        return event->type() == QEvent::MouseButtonRelease ? toggle() : true;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select)
            return false;
        return toggle();
    }
    default:
        return false;
    }
}

bool RuleRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index)
{
    const Rule* rule = ruleAt(index);
    if (!rule || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QStyle* style = view->style();
    const RowLayout layout = layoutRow(option, *rule, style);
    QString tip;
    if (layout.check.contains(event->pos()))
        tip = toggleToolTip(rule->isEnabled);
    else if (layout.warning.contains(event->pos()))
        tip = missingBrowserText(*rule);
    if (tip.isEmpty()) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(event->globalPos(), tip, view);
    return true;
}
