#include "rule_editor_dialog.h"

#include "application_chooser.h"
#include "browsers/browser_windows.h"
#include "browsers/browsers.h"
#include "gui/common/browser_icons.h"
#include "gui/common/destination_picker.h"
#include "gui/common/small_widgets.h"
#include "gui/common/text_style.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int sourceIconSize = 16;

QString placeholder(Rule::Match match)
{
    switch (match) {
    case Rule::Match::host:
        return u"example.com"_s;
    case Rule::Match::urlContains:
        return u"/pull/"_s;
    case Rule::Match::regex:
        return u"^https://.*\\.internal/"_s;
    }
    return QString();
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

RuleEditorDialog::RuleEditorDialog(const Rule& rule, QWidget* parent) : QDialog(parent), m_rule(rule)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(rule.trimmedPattern().isEmpty() ? tr("New Rule") : tr("Edit Rule"));
    setFixedWidth(fixedWidth);

    auto* form = new QWidget(this);
    auto* formLayout = new QVBoxLayout(form);

    // The match: kind, pattern and what the pattern means.
    auto* matchSection = new QFormLayout;
    m_match = new QComboBox(form);
    m_match->setAccessibleName(tr("When the"));
    for (Rule::Match match : {Rule::Match::host, Rule::Match::urlContains, Rule::Match::regex})
        m_match->addItem(matchWording(match), QVariant::fromValue(static_cast<int>(match)));
    m_match->setCurrentIndex(m_match->findData(static_cast<int>(rule.match)));
    matchSection->addRow(tr("When the"), m_match);
    m_pattern = new QLineEdit(rule.pattern, form);
    m_pattern->setAccessibleName(tr("Pattern"));
    m_pattern->setInputMethodHints(Qt::ImhNoAutoUppercase | Qt::ImhNoPredictiveText | Qt::ImhUrlCharactersOnly);
    matchSection->addRow(m_pattern);
    m_help = plainLabel(QString(), form);
    m_help->setWordWrap(true);
    TextStyle::apply(m_help, TextStyle::Size::caption);
    matchSection->addRow(m_help);
    formLayout->addLayout(matchSection);

    // The source applications.
    auto* sources = new QGroupBox(tr("Only for links from"), form);
    sources->setAccessibleName(tr("Only for links from"));
    auto* sourcesLayout = new QVBoxLayout(sources);
    m_sourceRows = new QVBoxLayout;
    sourcesLayout->addLayout(m_sourceRows);
    auto* addApp = new QPushButton(tr("Add App…"), sources);
    addApp->setAccessibleName(tr("Add App…"));
    addApp->setAutoDefault(false);
    sourcesLayout->addWidget(addApp, 0, Qt::AlignLeft);
    formLayout->addWidget(sources);

    m_destination = new DestinationPicker(tr("Open in"), form);
    m_destination->setAccessibleName(tr("Open in"));
    m_destination->setDestination(rule.destination);
    formLayout->addWidget(m_destination);
    auto* windowRow = new QHBoxLayout;
    m_windowLabel = plainLabel(tr("In"), form);
    m_window = new QComboBox(form);
    m_window->setAccessibleName(tr("Window"));
    m_windowLabel->setBuddy(m_window);
    windowRow->addWidget(m_windowLabel);
    windowRow->addWidget(m_window, 1);
    formLayout->addLayout(windowRow);

    auto* buttons = new QDialogButtonBox(this);
    buttons->setContentsMargins(12, 12, 12, 12);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setAccessibleName(cancel->text().remove(u'&'));
    m_save = buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole);
    m_save->setAccessibleName(tr("Save"));
    // Return anywhere in the dialog, the pattern field included, saves; a disabled Save makes it do nothing.
    m_save->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(form);
    layout->addWidget(SmallWidgets::divider(this));
    layout->addWidget(buttons);

    connect(m_match, &QComboBox::currentIndexChanged, this, &RuleEditorDialog::updateMatch);
    connect(m_pattern, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_rule.pattern = text;
        updateValidity();
    });
    connect(addApp, &QPushButton::clicked, this, &RuleEditorDialog::chooseApplications);
    connect(m_destination, &DestinationPicker::destinationChanged, this, &RuleEditorDialog::pickDestination);
    connect(m_window, &QComboBox::activated, this, [this] {
        const auto window = static_cast<Destination::Window>(m_window->currentData().toInt());
        m_rule.destination = Destination::browser(m_rule.destination.desktopID(), m_rule.destination.profile(), window);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &RuleEditorDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    updateMatch();
    updateSources();
    updateWindows();
    m_pattern->setFocus();
}

void RuleEditorDialog::pickDestination(const Destination& destination)
{
    // The window chosen before stays, as far as the newly chosen browser can open it.
    const Destination::Window window = m_rule.destination.window();
    m_rule.destination = destination.isBrowser() && BrowserWindows::canOpen(destination.desktopID(), window)
                             ? Destination::browser(destination.desktopID(), destination.profile(), window)
                             : destination;
    updateWindows();
}

void RuleEditorDialog::updateWindows()
{
    m_window->clear();
    const Destination& destination = m_rule.destination;
    if (destination.isBrowser()) {
        for (const auto window :
             {Destination::Window::usual, Destination::Window::newWindow, Destination::Window::privateWindow}) {
            // A window the rule already names stays listed, so that opening and saving the rule keeps it.
            if (BrowserWindows::canOpen(destination.desktopID(), window) || window == destination.window())
                m_window->addItem(BrowserWindows::windowChoice(window), static_cast<int>(window));
        }
    }
    m_window->setCurrentIndex(m_window->findData(static_cast<int>(destination.window())));
    const bool choice = m_window->count() > 1;
    m_window->setVisible(choice);
    m_windowLabel->setVisible(choice);
}

void RuleEditorDialog::save()
{
    if (!m_rule.isValid())
        return;
    // Only the ends: letter case, scheme and path stay as typed.
    m_rule.pattern = m_rule.trimmedPattern();
    Q_EMIT saved(m_rule);
    accept();
}

void RuleEditorDialog::chooseApplications()
{
    auto* chooser = new ApplicationChooser(this);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &ApplicationChooser::chosen, this, &RuleEditorDialog::addSources);
    chooser->open();
}

void RuleEditorDialog::addSources(const QStringList& desktopIDs)
{
    QStringList sources = m_rule.sourceDesktopIDs + desktopIDs;
    // By character code, case-sensitive: the list reads the same wherever it is edited.
    std::sort(sources.begin(), sources.end());
    sources.erase(std::unique(sources.begin(), sources.end()), sources.end());
    m_rule.sourceDesktopIDs = sources;
    updateSources();
}

void RuleEditorDialog::removeSource(const QString& desktopID)
{
    m_rule.sourceDesktopIDs.removeAll(desktopID);
    updateSources();
}

void RuleEditorDialog::updateMatch()
{
    // The typed pattern stays: only what it means changes.
    m_rule.match = static_cast<Rule::Match>(m_match->currentData().toInt());
    m_pattern->setPlaceholderText(placeholder(m_rule.match));
    updateValidity();
}

void RuleEditorDialog::updateValidity()
{
    const bool valid = m_rule.isValid();
    m_save->setEnabled(valid);

    QString text;
    QColor colour = TextStyle::secondary(palette());
    switch (m_rule.match) {
    case Rule::Match::host:
        text = tr("Subdomains are included — example.com also matches docs.example.com.");
        break;
    case Rule::Match::urlContains:
        text = tr("Matched anywhere in the whole link, ignoring case.");
        break;
    case Rule::Match::regex:
        if (m_rule.trimmedPattern().isEmpty()) {
            text = tr("A regular expression, matched against the whole link.");
        } else if (valid) {
            text = u"✓ "_s + tr("Valid expression");
            colour = TextStyle::green(palette());
        } else {
            text = u"⚠ "_s + tr("Not a valid regular expression");
            colour = TextStyle::orange(palette());
        }
        break;
    }
    m_help->setText(text);
    TextStyle::setTextColour(m_help, colour);
}

void RuleEditorDialog::updateSources()
{
    // Later: the row's own remove button may be what called.
    while (QLayoutItem* item = m_sourceRows->takeAt(0)) {
        item->widget()->setParent(nullptr);
        item->widget()->deleteLater();
        delete item;
    }
    QWidget* parent = m_sourceRows->parentWidget();
    if (m_rule.sourceDesktopIDs.isEmpty()) {
        QLabel* any = plainLabel(tr("Any app"), parent);
        TextStyle::setTextColour(any, TextStyle::secondary(palette()));
        m_sourceRows->addWidget(any);
    }
    for (const QString& desktopID : std::as_const(m_rule.sourceDesktopIDs)) {
        auto* row = new QWidget(parent);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(8);
        auto* icon = new QLabel(row);
        icon->setFixedSize(sourceIconSize, sourceIconSize);
        icon->setPixmap(BrowserIcons::icon(desktopID, sourceIconSize).pixmap(sourceIconSize, sourceIconSize));
        const QString name = Browsers::displayName(desktopID);
        QLabel* nameLabel = plainLabel(name, row);
        nameLabel->setToolTip(desktopID);
        QToolButton* remove = SmallWidgets::symbolButton(u"list-remove"_s, u"⊖"_s, tr("Remove %1").arg(name), row);
        remove->setAutoRaise(true); // borderless, as a row's remove control reads
        connect(remove, &QToolButton::clicked, this, [this, desktopID] { removeSource(desktopID); });
        rowLayout->addWidget(icon);
        rowLayout->addWidget(nameLabel, 1);
        rowLayout->addWidget(remove);
        m_sourceRows->addWidget(row);
    }
}
