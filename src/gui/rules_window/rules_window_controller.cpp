#include "rules_window_controller.h"

#include "platform/file_manager.h"
#include "rules_view.h"
#include "services/preferences.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

constexpr QSize initialSize(620, 420);

// The top-level window; it remembers where it was each time it is put away.
class RulesWindow final : public QWidget {
public:
    explicit RulesWindow(Preferences& preferences) : m_preferences(preferences) {}

    ~RulesWindow() override
    {
        if (isVisible())
            m_preferences.setRulesWindowGeometry(saveGeometry());
    }

protected:
    void hideEvent(QHideEvent* event) override
    {
        m_preferences.setRulesWindowGeometry(saveGeometry());
        QWidget::hideEvent(event);
    }

private:
    Preferences& m_preferences;
};

} // namespace

RulesWindowController::RulesWindowController(RuleStore& store, Preferences& preferences, DefaultBrowser& defaultBrowser,
                                             FileManager& fileManager, QString toolPath, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_preferences(preferences),
      m_defaultBrowser(defaultBrowser),
      m_fileManager(fileManager),
      m_toolPath(std::move(toolPath))
{
    // The refresh of the view also follows the application coming to the front, from any of its windows.
    if (qGuiApp) {
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            RulesView* view = this->view();
            if (state == Qt::ApplicationActive && view && view->isVisible())
                view->refresh();
        });
    }
    connect(this, &RulesWindowController::didOpen, this, [this] {
        if (RulesView* view = this->view())
            view->refresh();
    });
}

QWidget* RulesWindowController::create()
{
    auto* window = new RulesWindow(m_preferences);
    window->setWindowTitle(u"Rules"_s);
    window->setAccessibleName(u"Rules"_s);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new RulesView(
        m_store, m_defaultBrowser, [this](const QString& path) { m_fileManager.showItem(path); }, m_toolPath, window);
    layout->addWidget(view);
    connect(view, &RulesView::askNextRequested, this, &RulesWindowController::askNextRequested);
    connect(view, &RulesView::settingsRequested, this, &RulesWindowController::settingsRequested);
    connect(view, &RulesView::feedbackRequested, this, &RulesWindowController::feedbackRequested);
    m_view = view;
    window->setMinimumSize(560, 360);
    window->resize(initialSize);
    if (!window->restoreGeometry(m_preferences.rulesWindowGeometry())) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            window->move(screen->availableGeometry().center() - window->rect().center());
    }
    return window;
}

void RulesWindowController::show(const LaunchActivation& activation)
{
    m_window.show(activation);
    Q_EMIT didOpen();
}
