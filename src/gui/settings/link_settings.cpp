#include "link_settings.h"

#include "form_parts.h"
#include "routing/rule_store.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

QStringView trimmedOfBlanks(QStringView piece)
{
    while (!piece.isEmpty() && (piece.front() == u' ' || piece.front() == u'\t'))
        piece = piece.sliced(1);
    while (!piece.isEmpty() && (piece.back() == u' ' || piece.back() == u'\t'))
        piece.chop(1);
    return piece;
}

} // namespace

QStringList LinkSettings::parseParameters(QStringView text)
{
    // A CR LF pair would give an empty piece between its two breaks, and empty pieces are dropped anyway.
    QStringList names;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineBreak(text[i]))
            continue;
        if (const QStringView name = trimmedOfBlanks(text.sliced(start, i - start)); !name.isEmpty())
            names.append(name.toString());
        start = i + 1;
    }
    return names;
}

LinkSettings::LinkSettings(RuleStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    auto* tab = new QVBoxLayout(this);

    QVBoxLayout* cleaning = FormParts::section(QString(), tab);
    m_strip = FormParts::toggle(u"Remove tracking parameters"_s, this);
    connect(m_strip, &QCheckBox::toggled, this, [this](bool strips) {
        LinkRewriter rewriter = m_store.rewriter();
        rewriter.stripsTrackingParameters = strips;
        m_store.setRewriter(rewriter);
    });
    cleaning->addWidget(m_strip);
    cleaning->addWidget(FormParts::caption(u"Campaign and click identifiers — utm_source, fbclid, gclid and the rest. "
                                           "Only query parameters are touched; the site, the path and the anchor "
                                           "are never changed."_s,
                                           this));
    m_parameterRow = new QWidget(this);
    auto* parameterStack = new QVBoxLayout(m_parameterRow);
    parameterStack->setContentsMargins(0, 0, 0, 0);
    m_parameters = new QPlainTextEdit(m_parameterRow);
    m_parameters->setAccessibleName(u"Parameters"_s);
    m_parameters->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_parameters->setFixedHeight(90);
    m_parameters->setTabChangesFocus(true);
    m_parameters->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* hintRow = new QHBoxLayout;
    hintRow->addWidget(FormParts::caption(u"One per line. A trailing * matches a prefix."_s, m_parameterRow), 1);
    m_apply = new QPushButton(u"Apply"_s, m_parameterRow);
    m_apply->setAccessibleName(u"Apply"_s);
    connect(m_apply, &QPushButton::clicked, this,
            [this] { storeParameters(parseParameters(m_parameters->toPlainText())); });
    m_reset = new QPushButton(u"Reset"_s, m_parameterRow);
    m_reset->setAccessibleName(u"Reset"_s);
    connect(m_reset, &QPushButton::clicked, this, [this] { storeParameters(LinkRewriter::defaultParameters()); });
    hintRow->addWidget(m_apply);
    hintRow->addWidget(m_reset);
    parameterStack->addWidget(m_parameters);
    parameterStack->addLayout(hintRow);
    auto* parameterForm = new QFormLayout;
    parameterForm->addRow(u"Parameters"_s, m_parameterRow);
    cleaning->addLayout(parameterForm);

    QVBoxLayout* upgrading = FormParts::section(QString(), tab);
    m_unwrap = FormParts::toggle(u"Unwrap redirect links"_s, this);
    connect(m_unwrap, &QCheckBox::toggled, this, [this](bool unwraps) {
        LinkRewriter rewriter = m_store.rewriter();
        rewriter.unwrapsRedirects = unwraps;
        m_store.setRewriter(rewriter);
    });
    upgrading->addWidget(m_unwrap);
    upgrading->addWidget(FormParts::caption(u"Links that mail and chat programs wrap in a redirect through their own "
                                            "servers (Outlook, Teams, Google, Slack, Facebook and others) are opened "
                                            "at their real address, so the rules see it. Outlook Safe Links checks a "
                                            "link when it is clicked; an unwrapped link skips that check."_s,
                                            this));
    m_upgrade = FormParts::toggle(u"Upgrade http links to https"_s, this);
    connect(m_upgrade, &QCheckBox::toggled, this, [this](bool upgrades) {
        LinkRewriter rewriter = m_store.rewriter();
        rewriter.upgradesToHTTPS = upgrades;
        m_store.setRewriter(rewriter);
    });
    upgrading->addWidget(m_upgrade);
    upgrading->addWidget(FormParts::caption(u"Local addresses are left alone — anything on .test, .local, .localhost "
                                            "or a bare IP, which is usually a development server with no "
                                            "certificate to upgrade to."_s,
                                            this));
    tab->addStretch(1);

    // An outside edit of the rules file may change the switches while the tab is open.
    connect(&m_store, &RuleStore::rewriterChanged, this, &LinkSettings::showRewriter);
    showRewriter();
    showParameters();
}

void LinkSettings::showEvent(QShowEvent* event)
{
    // An edit left without "Apply" is dropped: the page shows what is stored.
    showParameters();
    QWidget::showEvent(event);
}

void LinkSettings::showRewriter()
{
    const LinkRewriter& rewriter = m_store.rewriter();
    const QSignalBlocker stripBlocker(m_strip), unwrapBlocker(m_unwrap), upgradeBlocker(m_upgrade);
    m_strip->setChecked(rewriter.stripsTrackingParameters);
    m_unwrap->setChecked(rewriter.unwrapsRedirects);
    m_upgrade->setChecked(rewriter.upgradesToHTTPS);
    m_parameterRow->setEnabled(rewriter.stripsTrackingParameters);
}

void LinkSettings::showParameters()
{
    m_parameters->setPlainText(m_store.rewriter().parameters.join(u'\n'));
}

void LinkSettings::storeParameters(const QStringList& parameters)
{
    LinkRewriter rewriter = m_store.rewriter();
    rewriter.parameters = parameters;
    m_store.setRewriter(rewriter); // written to the rules file at once
    showParameters();
}
