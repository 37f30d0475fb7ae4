#include "about_settings.h"

#include "form_parts.h"
#include "gui/common/text_style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel* secondaryLine(const QString& text, double scale, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAccessibleName(text);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    label->setFont(font);
    return label;
}

// A link that the desktop's default browser (which is Linkherd's routing) opens.
QLabel* pageLink(const QString& title, const QString& url, QWidget* parent)
{
    auto* link = new QLabel(u"<a href=\"%1\">%2</a>"_s.arg(url.toHtmlEscaped(), title), parent);
    link->setAccessibleName(title);
    link->setToolTip(url);
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    link->setOpenExternalLinks(true);
    return link;
}

} // namespace

QString AboutSettings::versionLine(const QString& version, const QString& buildNumber)
{
    return u"Version %1 (%2)"_s.arg(version.isEmpty() ? u"1.0"_s : version,
                                    buildNumber.isEmpty() ? u"1"_s : buildNumber);
}

AboutSettings::AboutSettings(const BuildInfo& info, const QIcon& icon, std::function<void()> sendFeedback,
                             QWidget* parent)
    : QWidget(parent)
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(30, 30, 30, 30);
    stack->setSpacing(10);
    stack->addStretch(1);

    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(icon.pixmap(96, 96));
    iconLabel->setFixedSize(96, 96);
    iconLabel->setAccessibleName(u"Linkherd icon"_s);
    stack->addWidget(iconLabel, 0, Qt::AlignHCenter);

    auto* name = new QLabel(u"Linkherd"_s, this);
    name->setAccessibleName(u"Linkherd"_s);
    QFont titleFont = name->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setWeight(QFont::Medium);
    name->setFont(titleFont);
    stack->addWidget(name, 0, Qt::AlignHCenter);

    stack->addWidget(secondaryLine(versionLine(info.version, info.buildNumber), 0.95, this));
    stack->addWidget(secondaryLine(u"Sends every link to the browser you actually want it in."_s, 0.95, this));

    m_feedback = new QPushButton(QIcon::fromTheme(u"mail-send"_s), u"Send Feedback…"_s, this);
    m_feedback->setAccessibleName(u"Send Feedback…"_s);
    connect(m_feedback, &QPushButton::clicked, this, [sendFeedback = std::move(sendFeedback)] {
        if (sendFeedback)
            sendFeedback();
    });
    stack->addWidget(m_feedback, 0, Qt::AlignHCenter);

    auto* links = new QHBoxLayout;
    links->setSpacing(14);
    links->addStretch(1);
    for (const auto& [title, url] :
         {std::pair(u"Website"_s, info.websiteURL), std::pair(u"Support"_s, info.supportPageURL),
          std::pair(u"Privacy"_s, info.privacyURL)}) {
        if (!url.isEmpty())
            links->addWidget(pageLink(title, url, this));
    }
    links->addStretch(1);
    stack->addLayout(links);

    if (!info.copyright.isEmpty())
        stack->addWidget(secondaryLine(info.copyright, TextStyle::captionScale, this));
    stack->addStretch(1);
}
