#include "destination_picker.h"

#include "browser_icons.h"
#include "browsers/browser_profiles.h"
#include "browsers/browsers.h"
#include "destination_menu_items.h"
#include "small_widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QShowEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

using namespace Qt::StringLiterals;

// A menu button whose title may end in a part in the secondary colour (the profile). The plain text is kept
// as the button's text too, so size hints, accessibility and tests see the whole title.
class DestinationButton final : public SmallWidgets::PopupMenuButton {
public:
    using PopupMenuButton::PopupMenuButton;

    void setTitle(const QIcon& icon, const QString& main, const QString& secondary)
    {
        m_main = main;
        m_secondary = secondary;
        QString text = main + secondary;
        setText(text.replace(u'&', u"&&"_s));
        setIcon(icon);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        option.icon = QIcon();
        painter.drawControl(QStyle::CE_PushButton, option);

        QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        area.setRight(area.right() - style()->pixelMetric(QStyle::PM_MenuButtonIndicator, &option, this));
        if (option.state & (QStyle::State_Sunken | QStyle::State_On))
            area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));

        const QFontMetrics& metrics = option.fontMetrics;
        const int iconWidth = icon().isNull() ? 0 : iconSize().width() + 4;
        const int room = area.width() - iconWidth;
        // When the title does not fit, the profile gives way before the browser's name.
        const QString secondary =
            metrics.elidedText(m_secondary, Qt::ElideRight, qMax(0, room - metrics.horizontalAdvance(m_main)));
        const int secondaryWidth = metrics.horizontalAdvance(secondary);
        const QString main = metrics.elidedText(m_main, Qt::ElideRight, qMax(0, room - secondaryWidth));
        const int mainWidth = metrics.horizontalAdvance(main);

        const QSize content(iconWidth + mainWidth + secondaryWidth, qMax(iconSize().height(), metrics.height()));
        QRect place = QStyle::alignedRect(layoutDirection(), Qt::AlignCenter, content, area);
        const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
        // The next width pixels in reading order.
        auto take = [&](int width) {
            QRect piece = place;
            if (rightToLeft) {
                piece.setLeft(place.right() - width + 1);
                place.setRight(place.right() - width);
            } else {
                piece.setWidth(width);
                place.setLeft(place.left() + width);
            }
            return piece;
        };
        if (iconWidth > 0) {
            const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
            const QRect iconRect =
                QStyle::alignedRect(layoutDirection(), Qt::AlignLeft | Qt::AlignVCenter, iconSize(), take(iconWidth));
            painter.drawPixmap(iconRect, icon().pixmap(iconSize(), devicePixelRatio(), mode));
        }
        const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
        painter.setPen(option.palette.color(QPalette::ButtonText));
        painter.drawText(take(mainWidth), flags, main);
        painter.setPen(option.palette.color(QPalette::PlaceholderText));
        painter.drawText(take(secondaryWidth), flags, secondary);
    }

private:
    QString m_main;
    QString m_secondary;
};

DestinationPicker::DestinationPicker(const QString& label, QWidget* parent)
    : QWidget(parent),
      m_label(new QLabel(this)),
      m_button(new DestinationButton(this)),
      m_menu(new QMenu(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(m_label, 0, Qt::AlignVCenter);
    row->addWidget(m_button, 0, Qt::AlignVCenter);
    row->addStretch(1);

    m_label->setBuddy(m_button);
    m_button->setIconSize(QSize(16, 16));
    SmallWidgets::openMenuOnPress(m_button, m_menu);

    setLabel(label);
    updateTitle();
}

QString DestinationPicker::label() const
{
    return m_label->text();
}

void DestinationPicker::setLabel(const QString& label)
{
    m_label->setText(label);
    m_label->setVisible(!label.isEmpty());
}

void DestinationPicker::setDestination(const Destination& destination)
{
    m_destination = destination;
    updateTitle();
}

QMenu* DestinationPicker::menu()
{
    if (!m_filled)
        fill();
    return m_menu;
}

void DestinationPicker::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        fill();
}

void DestinationPicker::fill()
{
    // Alphabetical, as installed() keeps them: the user's order is for the chooser only.
    DestinationMenuItems items{Browsers::installed(), {}, [this](const Destination& chosen) { pick(chosen); }};
    for (const Browsers::Browser& browser : items.browsers)
        items.profiles.insert(browser.desktopID, BrowserProfiles::profiles(browser.desktopID));
    m_menu->clear();
    // clear() leaves the submenus of the last filling behind as children of the menu.
    qDeleteAll(m_menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    items.addTo(*m_menu);
    m_filled = true;
    // A profile renamed in its browser since the last showing reads with its new name.
    updateTitle();
}

void DestinationPicker::pick(const Destination& destination)
{
    if (destination == m_destination)
        return;
    m_destination = destination;
    updateTitle();
    Q_EMIT destinationChanged(m_destination);
}

void DestinationPicker::updateTitle()
{
    if (m_destination.isAsk()) {
        m_button->setTitle(DestinationMenuItems::askIcon(), DestinationMenuItems::askText(), QString());
        return;
    }
    const QString& desktopID = m_destination.desktopID();
    const std::optional<QString>& profile = m_destination.profile();
    m_button->setTitle(BrowserIcons::icon(desktopID, 16), Browsers::displayName(desktopID),
                       profile ? u" — "_s + BrowserProfiles::profileName(*profile, desktopID) : QString());
}
