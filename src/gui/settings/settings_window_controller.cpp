#include "settings_window_controller.h"

#include "automation_settings.h"
#include "chooser_settings.h"
#include "link_settings.h"

#include <QIcon>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr QSize windowSize(520, 480);

// A tab whose content may be taller than the window (a long browser list) scrolls instead of growing it.
QScrollArea* scrolling(QWidget* content)
{
    auto* area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return area;
}

} // namespace

SettingsWindowController::SettingsWindowController(Services services, QObject* parent)
    : QObject(parent),
      m_services(std::move(services))
{}

QWidget* SettingsWindowController::create()
{
    auto* window = new QWidget;
    window->setWindowTitle(u"Linkherd Settings"_s);
    window->setAccessibleName(u"Settings"_s);
    window->setFixedSize(windowSize);
    auto* layout = new QVBoxLayout(window);
    m_tabs = new QTabWidget(window);
    m_tabs->setAccessibleName(u"Settings"_s);
    m_tabs->setDocumentMode(true);
    const auto addTab = [this](QWidget* content, const QString& iconName, const QString& label) {
        content->setAccessibleName(label);
        // The scroll area takes the focus on its own, so a screen reader announces it too.
        QScrollArea* area = scrolling(content);
        area->setAccessibleName(label);
        m_tabs->addTab(area, QIcon::fromTheme(iconName), label);
    };
    addTab(new GeneralSettings(m_services.preferences, m_services.defaultBrowser,
                               m_services.autostart, m_services.applicationMenuEntry),
           u"preferences-system"_s, u"General"_s);
    addTab(new LinkSettings(m_services.store), u"insert-link"_s, u"Links"_s);
    addTab(new ChooserSettings(m_services.preferences), u"view-grid"_s, u"Chooser"_s);
    addTab(new AutomationSettings(m_services.toolPath), u"utilities-terminal"_s, u"Automation"_s);
    addTab(new AboutSettings(m_services.buildInfo, m_services.applicationIcon, m_services.sendFeedback),
           u"help-about"_s, u"About"_s);
    layout->addWidget(m_tabs);
    return window;
}

void SettingsWindowController::show(const LaunchActivation& activation)
{
    m_window.show(activation);
}
