#include "chooser_view.h"

#include "browsers/browser_profiles.h"
#include "gui/common/browser_icons.h"
#include "gui/common/chooser_shortcuts.h"
#include "gui/common/small_widgets.h"
#include "gui/common/text_style.h"
#include "routing/link_parts.h"
#include "services/preferences.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int contentWidth = ChooserView::fixedWidth - 2 * ChooserView::padding;
constexpr int browserIconSize = 20;
constexpr int sourceIconSize = 12;

using TextStyle::Size;
using TextStyle::Tone;

QLabel* label(const QString& text, QWidget* parent, Size size, Tone tone = Tone::primary)
{
    auto* result = new QLabel(text, parent);
    result->setTextFormat(Qt::PlainText);
    TextStyle::apply(result, size, tone);
    return result;
}

QLabel* iconLabel(const QIcon& icon, int size, QWidget* parent)
{
    auto* result = new QLabel(parent);
    result->setPixmap(icon.pixmap(QSize(size, size)));
    result->setFixedSize(size, size);
    return result;
}

// The theme's generic browser icon, else Linkherd's own, for browsers whose entries name none that can be found.
QIcon genericBrowserIcon()
{
    static const QIcon builtIn = [] {
        QIcon icon;
        for (const int size : {16, 20, 32, 40})
            icon.addFile(u":/linkherd/web-browser-%1.png"_s.arg(size), QSize(size, size));
        return icon;
    }();
    return QIcon::fromTheme(u"web-browser"_s, builtIn);
}

// One browser in the list: a flat, rounded row of icon, name and shortcut hint that reads like a menu item
// and takes the keyboard like a button.
class BrowserRow final : public QAbstractButton {
public:
    BrowserRow(const Browsers::Browser& browser, const QString& name, qsizetype index, QWidget* parent)
        : QAbstractButton(parent)
    {
        setObjectName(u"browserRow"_s);
        setAccessibleName(name);
        setAttribute(Qt::WA_Hover);
        setFocusPolicy(Qt::StrongFocus);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(8, 5, 8, 5);
        layout->setSpacing(8);
        QIcon icon = BrowserIcons::icon(browser.desktopID, browserIconSize);
        if (icon.isNull())
            icon = genericBrowserIcon();
        // Every row has its icon, so the names line up.
        QLabel* iconView = iconLabel(icon, browserIconSize, this);
        iconView->setObjectName(u"browserIcon"_s);
        layout->addWidget(iconView);
        layout->addWidget(label(name, this, Size::body));
        layout->addStretch();
        if (index < ChooserShortcuts::count) {
            QLabel* hint = label(u"Ctrl+"_s + QString::number(index + 1), this, Size::caption, Tone::tertiary);
            hint->setObjectName(u"shortcutHint"_s);
            layout->addWidget(hint);
        }
        // The labels are decoration; clicks belong to the row.
        for (QWidget* child : findChildren<QWidget*>())
            child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(isDown() ? 0.14f : underMouse() ? 0.08f : 0.04f);
        const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
        painter.setPen(hasFocus() ? QPen(palette().color(QPalette::Highlight), 1.5) : QPen(Qt::NoPen));
        painter.setBrush(fill);
        painter.drawRoundedRect(area, 6, 6);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            click();
            return;
        case Qt::Key_Down:
            focusNextPrevChild(true);
            return;
        case Qt::Key_Up:
            focusNextPrevChild(false);
            return;
        default:
            QAbstractButton::keyPressEvent(event);
        }
    }
};

} // namespace

QStringList elidedLines(const QString& text, const QFontMetrics& metrics, int width, int maxLines)
{
    QStringList lines;
    QString rest = text;
    while (!rest.isEmpty() && maxLines > 0) {
        if (metrics.horizontalAdvance(rest) <= width) {
            lines.append(rest);
            break;
        }
        if (lines.size() == maxLines - 1) {
            lines.append(metrics.elidedText(rest, lines.isEmpty() ? Qt::ElideMiddle : Qt::ElideLeft, width));
            break;
        }
        // The longest beginning that fits; at least one character, so a narrow width still makes progress.
        qsizetype low = 0;
        qsizetype high = rest.size();
        while (low < high) {
            const qsizetype middle = (low + high + 1) / 2;
            if (metrics.horizontalAdvance(rest, static_cast<int>(middle)) <= width)
                low = middle;
            else
                high = middle - 1;
        }
        if (low > 0 && rest[low - 1].isHighSurrogate())
            --low;
        if (low == 0)
            low = rest[0].isHighSurrogate() ? 2 : 1;
        lines.append(rest.left(low));
        rest.remove(0, low);
    }
    return lines;
}

ChooserView::ChooserView(const Router::Request& request, qsizetype remaining, const Preferences& preferences,
                         QWidget* parent)
    : QWidget(parent),
      m_request(request)
{
    setFixedWidth(fixedWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(16);

    const std::optional<LinkParts> parts = LinkParts::split(m_request.url);
    const QString host = parts && parts->host ? parts->host->toString() : QString();
    layout->addLayout(header(host));
    layout->addWidget(SmallWidgets::divider(this));
    layout->addLayout(browserList(preferences));
    layout->addLayout(bottomGroup(host, remaining));

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &ChooserView::cancelled);
}

QLayout* ChooserView::header(const QString& host)
{
    auto* group = new QVBoxLayout;
    group->setSpacing(6);

    QLabel* title = label(QString(), this, Size::headline);
    title->setObjectName(u"title"_s);
    const QString titleText = host.isEmpty() ? m_request.url : host;
    title->setText(QFontMetrics(title->font()).elidedText(titleText, Qt::ElideMiddle, contentWidth));
    group->addWidget(title);

    QLabel* link = label(QString(), this, Size::caption, Tone::secondary);
    link->setObjectName(u"link"_s);
    link->setText(elidedLines(m_request.url, QFontMetrics(link->font()), contentWidth, 2).join(u'\n'));
    link->setTextInteractionFlags(Qt::TextSelectableByMouse);
    link->setToolTip(m_request.url);
    group->addWidget(link);

    if (!m_request.sourceDesktopID.isEmpty()) {
        auto* source = new QHBoxLayout;
        source->setSpacing(4);
        if (const QIcon icon = BrowserIcons::icon(m_request.sourceDesktopID, sourceIconSize); !icon.isNull()) {
            QLabel* sourceIcon = iconLabel(icon, sourceIconSize, this);
            sourceIcon->setObjectName(u"sourceIcon"_s);
            source->addWidget(sourceIcon, 0, Qt::AlignVCenter);
        }
        QLabel* from =
            label(u"from "_s + Browsers::displayName(m_request.sourceDesktopID), this, Size::caption, Tone::tertiary);
        from->setObjectName(u"source"_s);
        source->addWidget(from, 0, Qt::AlignVCenter);
        source->addStretch();
        group->addLayout(source);
    }
    return group;
}

QLayout* ChooserView::browserList(const Preferences& preferences)
{
    auto* list = new QVBoxLayout;
    list->setSpacing(4);
    const QList<Browsers::Browser> browsers = Browsers::ordered(preferences.browserOrder());
    if (browsers.isEmpty()) {
        QLabel* none = label(u"No other browsers are installed."_s, this, Size::callout, Tone::secondary);
        none->setObjectName(u"noBrowsers"_s);
        list->addWidget(none);
    }
    const auto addRow = [&](const Browsers::Browser& browser, const QString& name, const QString& profile) {
        const qsizetype index = m_rows.size();
        auto* row = new BrowserRow(browser, name, index, this);
        connect(row, &QAbstractButton::clicked, this,
                [this, browser, profile] { Q_EMIT chosen(browser, profile, m_remember->isChecked()); });
        if (index < ChooserShortcuts::count) {
            const auto digit = static_cast<Qt::Key>(Qt::Key_1 + index);
            auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | digit), this);
            connect(shortcut, &QShortcut::activated, row, &QAbstractButton::click);
        }
        list->addWidget(row);
        m_rows.append(row);
    };
    for (const Browsers::Browser& browser : browsers) {
        // A single profile is the browser itself: it gets no row of its own.
        const QList<BrowserProfiles::Profile> profiles = preferences.chooserShowsProfiles()
                                                             ? BrowserProfiles::profiles(browser.desktopID)
                                                             : QList<BrowserProfiles::Profile>();
        if (profiles.size() < 2) {
            addRow(browser, browser.name, QString());
            continue;
        }
        for (const BrowserProfiles::Profile& profile : profiles)
            addRow(browser, browser.name + u" — "_s + profile.name, profile.directory);
    }
    return list;
}

QLayout* ChooserView::bottomGroup(const QString& host, qsizetype remaining)
{
    auto* bottom = new QVBoxLayout;
    bottom->setSpacing(10);

    m_remember = new QCheckBox(this);
    m_remember->setObjectName(u"remember"_s);
    TextStyle::apply(m_remember, Size::callout);
    // Without a host there is nothing a rule could match on.
    m_remember->setEnabled(!host.isEmpty());
    const QString subject = host.isEmpty() ? m_request.url : host;
    const QString before = u"Always open "_s;
    const QString after = u" this way"_s;
    const QFontMetrics metrics(m_remember->font());
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, m_remember) +
                          style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, m_remember);
    const int room = contentWidth - indicator - metrics.horizontalAdvance(before + after) - 4;
    m_remember->setText(before + metrics.elidedText(subject, Qt::ElideMiddle, room) + after);
    m_remember->setToolTip(before + subject + after);
    bottom->addWidget(m_remember);

    auto* footer = new QHBoxLayout;
    if (remaining > 0) {
        const QString waiting =
            QString::number(remaining) + u" more link"_s + (remaining == 1 ? u""_s : u"s"_s) + u" waiting"_s;
        QLabel* count = label(waiting, this, Size::caption, Tone::secondary);
        count->setObjectName(u"waiting"_s);
        footer->addWidget(count, 0, Qt::AlignVCenter);
    }
    footer->addStretch();
    auto* cancel = new QPushButton(u"Cancel"_s, this);
    cancel->setObjectName(u"cancel"_s);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &ChooserView::cancelled);
    footer->addWidget(cancel, 0, Qt::AlignVCenter);
    m_cancel = cancel;
    bottom->addLayout(footer);
    return bottom;
}

void ChooserView::focusFirstRow()
{
    if (!m_rows.isEmpty())
        m_rows.first()->setFocus(Qt::ActiveWindowFocusReason);
    else
        m_cancel->setFocus(Qt::ActiveWindowFocusReason);
}
