#include "general_settings.h"

#include "browsers/browsers.h"
#include "browsers/default_browser.h"
#include "form_parts.h"
#include "gui/common/message_box.h"
#include "gui/common/small_widgets.h"
#include "platform/autostart_entry.h"
#include "services/preferences.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int recentCountChoices[] = {0, 3, 5, 10};

} // namespace

GeneralSettings::GeneralSettings(Preferences& preferences, DefaultBrowser& defaultBrowser,
                                 AutostartEntry& autostart, ApplicationMenuEntry applicationMenuEntry, QWidget* parent)
    : QWidget(parent),
      m_preferences(preferences),
      m_defaultBrowser(defaultBrowser),
      m_autostart(autostart),
      m_applicationMenuEntry(std::move(applicationMenuEntry))
{
    auto* tab = new QVBoxLayout(this);

    // Default browser.
    QVBoxLayout* defaultSection = FormParts::section(QString(), tab);
    auto* defaultRow = new QFormLayout;
    auto* defaultStack = new QVBoxLayout;
    defaultStack->setSpacing(6);
    m_defaultState = new QLabel(this);
    m_defaultState->setTextFormat(Qt::RichText);
    m_defaultCaption = FormParts::caption(QString(), this);
    m_handBack = new QToolButton(this);
    m_handBack->setText(u"Hand Back To…"_s);
    m_handBack->setAccessibleName(u"Hand Back To…"_s);
    auto* handBackMenu = new QMenu(m_handBack);
    // Filled when opened, so a browser installed meanwhile is offered.
    connect(handBackMenu, &QMenu::aboutToShow, this, [this, handBackMenu] {
        handBackMenu->clear();
        for (const Browsers::Browser& browser : Browsers::installed())
            handBackMenu->addAction(browser.name, this, [this, path = browser.filePath] { handBackTo(path); });
    });
    SmallWidgets::openMenuOnPress(m_handBack, handBackMenu);
    m_makeDefault = new QPushButton(u"Make Linkherd the Default…"_s, this);
    m_makeDefault->setAccessibleName(u"Make Linkherd the Default…"_s);
    connect(m_makeDefault, &QPushButton::clicked, this, [this] {
        m_defaultBrowser.becomeDefaultBrowser([self = QPointer<GeneralSettings>(this)](bool isDefault) {
            if (GeneralSettings* settings = self.data())
                settings->showDefaultState(isDefault);
        });
    });
    defaultStack->addWidget(m_defaultState);
    defaultStack->addWidget(m_defaultCaption);
    defaultStack->addWidget(m_handBack, 0, Qt::AlignLeft);
    defaultStack->addWidget(m_makeDefault, 0, Qt::AlignLeft);
    defaultRow->addRow(u"Default browser"_s, defaultStack);
    defaultSection->addLayout(defaultRow);

    // Where Linkherd shows itself.
    QVBoxLayout* showSection = FormParts::section(u"Show Linkherd in"_s, tab);
    m_tray = FormParts::toggle(u"System tray"_s, this);
    m_applicationMenu = FormParts::toggle(u"Application menu"_s, this);
    connect(m_tray, &QCheckBox::toggled, this, [this](bool shown) {
        m_preferences.setShowsTrayIcon(shown);
        updateLocks();
    });
    connect(m_applicationMenu, &QCheckBox::toggled, this, &GeneralSettings::setApplicationMenuShown);
    showSection->addWidget(m_tray);
    showSection->addWidget(m_applicationMenu);
    showSection->addWidget(FormParts::caption(
        u"With the application menu entry on, Linkherd is listed with your other applications: opening it there "
        "shows your rules."_s,
        this));

    // Startup.
    QVBoxLayout* startupSection = FormParts::section(u"Startup"_s, tab);
    m_login = FormParts::toggle(u"Open at login"_s, this);
    connect(m_login, &QCheckBox::clicked, this, &GeneralSettings::setLaunchesAtLogin);
    m_waitingForApproval = new QLabel(u"⚠ Waiting for approval"_s, this);
    m_waitingForApproval->setAccessibleName(u"Waiting for approval"_s);
    m_waitingForApproval->setContentsMargins(20, 0, 0, 0);
    startupSection->addWidget(m_login);
    startupSection->addWidget(m_waitingForApproval);
    startupSection->addWidget(FormParts::caption(
        u"Starts Linkherd when you log in, so the first link of the day opens immediately. The desktop starts it on "
        "demand either way, so this only saves that first wait."_s,
        this));

    // Recent links.
    QVBoxLayout* recentSection = FormParts::section(u"Recent links"_s, tab);
    m_remember = FormParts::toggle(u"Remember links I open"_s, this);
    connect(m_remember, &QCheckBox::toggled, this, [this](bool remembers) {
        // The router lets the recent links go as the setting goes off.
        m_preferences.setRemembersRecentLinks(remembers);
        m_recentCount->setEnabled(remembers);
    });
    m_recentCount = new QComboBox(this);
    m_recentCount->setAccessibleName(u"Show in the menu"_s);
    for (const int count : recentCountChoices)
        m_recentCount->addItem(count == 0 ? u"None"_s : QString::number(count), count);
    connect(m_recentCount, &QComboBox::activated, this,
            [this](int index) { m_preferences.setRecentLinkCount(m_recentCount->itemData(index).toInt()); });
    auto* countRow = new QFormLayout;
    countRow->addRow(u"Show in the menu"_s, m_recentCount);
    recentSection->addWidget(m_remember);
    recentSection->addLayout(countRow);
    recentSection->addWidget(FormParts::caption(
        u"Kept in memory only, never written to disk, and cleared when the app quits. It exists so a link that went "
        "to the wrong browser can be reopened in the right one."_s,
        this));
    tab->addStretch(1);

    // The tray icon may be switched off elsewhere too (its own menu); the toggles follow the preferences.
    connect(&m_preferences, &Preferences::showsTrayIconChanged, this, &GeneralSettings::refresh);
    connect(&m_preferences, &Preferences::showsApplicationMenuEntryChanged, this, &GeneralSettings::refresh);
    if (qGuiApp) {
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive && isVisible())
                refresh();
        });
    }
    refresh();
}

void GeneralSettings::showEvent(QShowEvent* event)
{
    refresh();
    QWidget::showEvent(event);
}

void GeneralSettings::refresh()
{
    if (m_applicationMenuEntry.isShown) {
        if (const bool shown = m_applicationMenuEntry.isShown(); m_preferences.showsApplicationMenuEntry() != shown)
            m_preferences.setShowsApplicationMenuEntry(shown);
    }
    const QSignalBlocker trayBlocker(m_tray), menuBlocker(m_applicationMenu), loginBlocker(m_login),
        rememberBlocker(m_remember);
    showDefaultState(m_defaultBrowser.isDefaultBrowser());
    m_tray->setChecked(m_preferences.showsTrayIcon());
    m_applicationMenu->setChecked(m_preferences.showsApplicationMenuEntry());
    updateLocks();
    const AutostartEntry::Status status = m_autostart.status();
    const bool needsApproval = status == AutostartEntry::Status::requiresApproval;
    m_login->setChecked(status == AutostartEntry::Status::enabled || needsApproval);
    m_waitingForApproval->setVisible(needsApproval);
    m_remember->setChecked(m_preferences.remembersRecentLinks());
    m_recentCount->setCurrentIndex(m_recentCount->findData(m_preferences.recentLinkCount()));
    m_recentCount->setEnabled(m_preferences.remembersRecentLinks());
}

void GeneralSettings::updateLocks()
{
    // The one way left into Linkherd cannot be switched off.
    m_tray->setEnabled(!(m_tray->isChecked() && !m_applicationMenu->isChecked()));
    m_applicationMenu->setEnabled(!(m_applicationMenu->isChecked() && !m_tray->isChecked()));
}

void GeneralSettings::setApplicationMenuShown(bool shown)
{
    if (m_applicationMenuEntry.setShown) {
        if (const Result<void> changed = m_applicationMenuEntry.setShown(shown); !changed) {
            const QSignalBlocker blocker(m_applicationMenu);
            m_applicationMenu->setChecked(!shown);
            MessageBox::open(
                {.style = MessageBox::Style::warning,
                 .text = shown ? u"Linkherd could not be put back in the application menu."_s
                               : u"Linkherd could not be taken out of the application menu."_s,
                 .informativeText = changed.error(),
                 .buttons = {}},
                [](int) {}, window());
            return;
        }
    }
    m_preferences.setShowsApplicationMenuEntry(shown);
    updateLocks();
}

void GeneralSettings::setLaunchesAtLogin(bool launches)
{
    if (const Result<void> changed = m_defaultBrowser.setLaunchesAtLogin(launches); changed)
        m_preferences.setLaunchesAtLogin(launches);
    else
        QApplication::beep();
    // The switch shows what the desktop will do, not what was asked for.
    refresh();
}

void GeneralSettings::handBackTo(const QString& desktopFilePath)
{
    // Whatever the outcome, the row shows what the desktop says now.
    m_defaultBrowser.makeDefault(desktopFilePath, [self = QPointer<GeneralSettings>(this)](std::optional<QString>) {
        if (GeneralSettings* settings = self.data())
            settings->refresh();
    });
}

void GeneralSettings::showDefaultState(bool isDefault)
{
    m_defaultState->setText(isDefault ? u"<span style=\"color: #2e9d3f\">✔</span> Linkherd"_s
                                      : u"<span style=\"color: gray\">✖</span> Not Linkherd"_s);
    m_defaultState->setAccessibleName(isDefault ? u"Linkherd"_s : u"Not Linkherd"_s);
    const QString caption = isDefault ? u"Links open here first and are sent on by your rules."_s
                                      : u"Until Linkherd is the default, nothing reaches it and no rule runs."_s;
    m_defaultCaption->setText(caption);
    m_defaultCaption->setAccessibleName(caption);
    m_handBack->setVisible(isDefault);
    m_makeDefault->setVisible(!isDefault);
}
