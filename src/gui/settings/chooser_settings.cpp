#include "chooser_settings.h"

#include "form_parts.h"
#include "platform/x11/keyboard_state.h"
#include "gui/common/browser_icons.h"
#include "gui/common/chooser_shortcuts.h"
#include "gui/common/text_style.h"
#include "services/preferences.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int rowHeight = 26;

// The name on the left; the shortcut and a drag handle, faint, on the right.
class BrowserRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(rowHeight);
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setFont(TextStyle::font(option.font, TextStyle::Size::caption));
        painter->setPen(option.palette.color(QPalette::Disabled, QPalette::Text));
        QRect right = option.rect.adjusted(0, 0, -8, 0);
        painter->drawText(right, Qt::AlignRight | Qt::AlignVCenter, u"≡"_s);
        right.adjust(0, 0, -painter->fontMetrics().horizontalAdvance(u"≡"_s) - 10, 0);
        painter->drawText(right, Qt::AlignRight | Qt::AlignVCenter,
                          index.data(BrowserOrderModel::shortcutHintRole).toString());
        painter->restore();
    }
};

// Rows dragged within the list are moved by the tab, which stores the order; nothing else is dropped here.
class BrowserOrderView final : public QListView {
public:
    BrowserOrderView(ChooserSettings& settings, QWidget* parent) : QListView(parent), m_settings(settings) {}

protected:
    void dropEvent(QDropEvent* event) override
    {
        if (event->source() != this) {
            event->ignore();
            return;
        }
        const QModelIndex target = indexAt(event->position().toPoint());
        int toRow = model()->rowCount();
        if (target.isValid()) {
            const QRect rect = visualRect(target);
            toRow = target.row() + (event->position().y() > rect.center().y() ? 1 : 0);
        }
        m_settings.moveRows(selectedRows(), toRow);
        // The move is done: the drag must not remove the rows it started from.
        event->setDropAction(Qt::IgnoreAction);
        event->accept();
    }

    // Ctrl+Up and Ctrl+Down move the current browser, for those who do not drag.
    void keyPressEvent(QKeyEvent* event) override
    {
        const int row = currentIndex().row();
        const bool up = event->key() == Qt::Key_Up, down = event->key() == Qt::Key_Down;
        if (event->modifiers() == Qt::ControlModifier && (up || down) && row >= 0) {
            const int to = up ? row - 1 : row + 2;
            if (to >= 0 && to <= model()->rowCount()) {
                m_settings.moveRows({row}, to);
                setCurrentIndex(model()->index(up ? row - 1 : row + 1, 0));
            }
            return;
        }
        QListView::keyPressEvent(event);
    }

private:
    QList<int> selectedRows() const
    {
        QList<int> rows;
        for (const QModelIndex& index : selectionModel()->selectedIndexes())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    ChooserSettings& m_settings;
};

} // namespace

void BrowserOrderModel::setBrowsers(QList<Browsers::Browser> browsers)
{
    beginResetModel();
    m_browsers = std::move(browsers);
    endResetModel();
}

int BrowserOrderModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_browsers.size());
}

QVariant BrowserOrderModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_browsers.size())
        return {};
    const Browsers::Browser& browser = m_browsers[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return browser.name;
    case Qt::AccessibleTextRole:
        return index.row() < ChooserShortcuts::count ? u"%1, Ctrl+%2"_s.arg(browser.name).arg(index.row() + 1)
                                                     : browser.name;
    case Qt::DecorationRole:
        return BrowserIcons::icon(browser.desktopID, 16);
    case shortcutHintRole:
        return index.row() < ChooserShortcuts::count ? u"Ctrl+%1"_s.arg(index.row() + 1) : QString();
    case desktopIDRole:
        return browser.desktopID;
    default:
        return {};
    }
}

Qt::ItemFlags BrowserOrderModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

ChooserSettings::ChooserSettings(Preferences& preferences, QWidget* parent)
    : QWidget(parent),
      m_preferences(preferences)
{
    auto* tab = new QVBoxLayout(this);

    QVBoxLayout* order = FormParts::section(u"Browser order"_s, tab);
    m_model = new BrowserOrderModel(this);
    m_empty = new QLabel(u"No other browsers are installed."_s, this);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
    m_list = new BrowserOrderView(*this, this);
    m_list->setAccessibleName(u"Browser order"_s);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new BrowserRowDelegate(m_list));
    m_list->setIconSize(QSize(16, 16));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setDropIndicatorShown(true);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setFrameShape(QFrame::Box);
    m_list->setLineWidth(1);
    m_sort = new QPushButton(u"Sort Alphabetically"_s, this);
    m_sort->setAccessibleName(u"Sort Alphabetically"_s);
    connect(m_sort, &QPushButton::clicked, this, &ChooserSettings::sortAlphabetically);
    order->addWidget(m_empty);
    order->addWidget(m_list);
    order->addWidget(m_sort, 0, Qt::AlignRight);
    order->addWidget(FormParts::caption(
        u"Drag to arrange the browsers the chooser offers. This is also the order of the Ctrl+1…Ctrl+9 shortcuts, "
        "so the browser you answer with most can be Ctrl+1. Browsers installed later join the end of the list."_s,
        this));
    m_profiles = FormParts::toggle(u"Show profiles"_s, this);
    m_profiles->setChecked(m_preferences.chooserShowsProfiles());
    connect(m_profiles, &QCheckBox::toggled, &m_preferences, &Preferences::setChooserShowsProfiles);
    order->addWidget(m_profiles);
    order->addWidget(FormParts::caption(u"A browser with two or more profiles gets a row for each, such as "
                                        "“Chromium — Work”, numbered with the others."_s,
                                        this));

    QVBoxLayout* opening = FormParts::section(u"Opening the chooser"_s, tab);
    m_alt = FormParts::toggle(u"Hold Alt while clicking to choose a browser"_s, this);
    m_alt->setChecked(m_preferences.asksWhenAltHeld());
    connect(m_alt, &QCheckBox::toggled, &m_preferences, &Preferences::setAsksWhenAltHeld);
    opening->addWidget(m_alt);
    QString explanation = u"Skips the rules for one link and opens the chooser instead — for when a rule would send "
                          "something to the wrong place and you do not want to edit it."_s;
    // Alt is read from the X server: through XWayland it is seen only in X11 windows, with Qt's Wayland plugin
    // not at all.
    if (QGuiApplication::platformName() == u"wayland"_s) {
        explanation += u" On Wayland Linkherd cannot see the keyboard, so holding Alt has no effect here."_s;
    } else if (isWaylandSession()) {
        explanation += u" On this Wayland desktop, holding Alt works only while an X11 window has the focus: "
                       "Linkherd cannot see the keys pressed in other windows."_s;
    }
    if (isWaylandSession()) {
        explanation += u" “Ask for the Next Link” (in the launcher's menu, the tray menu and the rules window's “…” "
                       "menu) works with every window."_s;
    }
    opening->addWidget(FormParts::caption(explanation, this));
    tab->addStretch(1);

    connect(&m_preferences, &Preferences::browserOrderChanged, this,
            [this] { m_sort->setEnabled(!m_preferences.browserOrder().isEmpty()); });
    connect(&m_preferences, &Preferences::chooserShowsProfilesChanged, this, [this] {
        const QSignalBlocker blocker(m_profiles);
        m_profiles->setChecked(m_preferences.chooserShowsProfiles());
    });
    connect(&m_preferences, &Preferences::asksWhenAltHeldChanged, this, [this] {
        const QSignalBlocker blocker(m_alt);
        m_alt->setChecked(m_preferences.asksWhenAltHeld());
    });
    if (qGuiApp) {
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive && isVisible())
                refresh();
        });
    }
    refresh();
}

void ChooserSettings::showEvent(QShowEvent* event)
{
    refresh();
    QWidget::showEvent(event);
}

void ChooserSettings::refresh()
{
    m_model->setBrowsers(Browsers::ordered(m_preferences.browserOrder()));
    const int count = m_model->rowCount();
    m_empty->setVisible(count == 0);
    m_list->setVisible(count > 0);
    m_sort->setVisible(count > 0);
    m_list->setFixedHeight(rowHeight * count + 8);
    m_sort->setEnabled(!m_preferences.browserOrder().isEmpty());
}

void ChooserSettings::moveRows(const QList<int>& fromRows, int toRow)
{
    QList<Browsers::Browser> browsers = m_model->browsers();
    QList<int> rows = fromRows;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<Browsers::Browser> moved;
    int before = toRow;
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        if (*row < 0 || *row >= browsers.size())
            continue;
        moved.prepend(browsers.takeAt(*row));
        if (*row < toRow)
            --before;
    }
    before = std::clamp(before, 0, static_cast<int>(browsers.size()));
    for (qsizetype i = 0; i < moved.size(); ++i)
        browsers.insert(before + i, moved[i]);
    QStringList order;
    for (const Browsers::Browser& browser : browsers)
        order.append(browser.desktopID);
    m_model->setBrowsers(std::move(browsers));
    // Preferences tells its observers only of a different order.
    m_preferences.setBrowserOrder(order);
}

void ChooserSettings::sortAlphabetically()
{
    m_preferences.setBrowserOrder({});
    refresh();
}
