#include "chooser_controller.h"

#include "chooser_view.h"
#include "gui/common/present_window.h"
#include "platform/x11/window_activation.h"
#include "routing/link_parts.h"
#include "routing/rule_store.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QInputEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

using namespace Qt::StringLiterals;

// The "Open Link" window: a tool window above the others that sizes itself to its content. It has a title and a
// close button and nothing else: a panel minimized or maximized out of the way would leave links waiting where
// the user no longer sees them. Its close button is one more way to cancel.
class ChooserPanel final : public QWidget {
public:
    static constexpr Qt::WindowFlags panelFlags =
        Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint;

    explicit ChooserPanel(std::function<void()> onCloseButton)
        : QWidget(nullptr, panelFlags),
          m_onCloseButton(std::move(onCloseButton))
    {
        setWindowTitle(u"Open Link"_s);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

    void setContent(ChooserView* view)
    {
        layout()->addWidget(view);
        // Shown before the old content goes: for a moment without visible content the panel would be sized to
        // nothing, and a window of no size is taken off the screen, losing its activation and the keyboard focus.
        view->show();
        if (m_content) {
            m_content->hide();
            // The old view may be in the middle of emitting the choice that replaces it.
            m_content->deleteLater();
        }
        m_content = view;
        adjustSize();
    }

    // Closes the panel for good, without counting as a cancel.
    void dismiss()
    {
        m_dismissed = true;
        close();
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        // Cancelling dismisses the panel when nothing else waits; otherwise the panel shows the next link.
        if (!m_dismissed)
            m_onCloseButton();
        event->setAccepted(m_dismissed);
    }

private:
    std::function<void()> m_onCloseButton;
    QPointer<ChooserView> m_content;
    bool m_dismissed = false;
};

ChooserController::ChooserController(Launch launch, RuleStore& store, Preferences& preferences, QObject* parent)
    : QObject(parent),
      m_launch(std::move(launch)),
      m_store(store),
      m_preferences(preferences)
{}

ChooserController::~ChooserController()
{
    closePanel();
}

QWidget* ChooserController::panel() const
{
    return m_panel;
}

ChooserView* ChooserController::view() const
{
    return m_view;
}

void ChooserController::enqueue(const Router::Request& request)
{
    m_queue.append(request);
    // Taken here, for this panel: the queue keeps none for later.
    const LaunchActivation activation = takeActivation(request.activation);
    // While a panel is up the new link only waits (the panel's waiting count is refreshed with the next link),
    // but the user is shown that one more wants an answer.
    if (m_panel)
        raisePanel(activation);
    else
        showNext(activation);
}

bool ChooserController::raisePanel(const LaunchActivation& activation)
{
    if (!m_panel)
        return false;
    m_panel->setWindowState(m_panel->windowState() & ~Qt::WindowMaximized);
    m_panel->winId(); // the native window, to watch before it is mapped
    m_panel->windowHandle()->installEventFilter(this);
    presentWindow(*m_panel, activation);
    return true;
}

void ChooserController::showNext(const LaunchActivation& activation)
{
    if (m_queue.isEmpty()) {
        closePanel();
        return;
    }
    const Router::Request request = m_queue.first();
    auto* view = new ChooserView(request, m_queue.size() - 1, m_preferences);
    connect(view, &ChooserView::chosen, this,
            [this, request](const Browsers::Browser& browser, const QString& profile, bool remember) {
                choose(browser, profile, remember, request);
            });
    connect(view, &ChooserView::cancelled, this, &ChooserController::cancel);
    if (m_view)
        disconnect(m_view, nullptr, this, nullptr);
    m_view = view;

    if (m_panel) {
        // Replaced in place: the panel stays where the user may have moved it.
        m_panel->setContent(view);
    } else {
        m_panel = new ChooserPanel([this] { cancel(); });
        m_panel->setContent(view);
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen) {
            m_panel->setScreen(screen);
            m_panel->move(screen->availableGeometry().center() - m_panel->rect().center());
        }
    }
    raisePanel(activation);
    view->focusFirstRow();
}

void ChooserController::closePanel()
{
    if (m_view)
        disconnect(m_view, nullptr, this, nullptr);
    m_view = nullptr;
    ChooserPanel* panel = m_panel.data();
    m_panel = nullptr;
    if (panel) {
        panel->dismiss();
        panel->deleteLater();
    }
}

void ChooserController::choose(const Browsers::Browser& browser, const QString& profile, bool remember,
                               const Router::Request& request)
{
    const std::optional<QString> chosenProfile = profile.isEmpty() ? std::nullopt : std::optional<QString>(profile);
    // The request may live in the queue, which changes below.
    const QString url = request.url;
    const QString sourceDesktopID = request.sourceDesktopID;
    if (remember) {
        const std::optional<LinkParts> parts = LinkParts::split(url);
        if (parts && parts->host && !parts->host->isEmpty()) {
            Rule rule;
            rule.match = Rule::Match::host;
            rule.pattern = parts->host->toString();
            rule.destination = Destination::browser(browser.desktopID, chosenProfile);
            // Saved before the launch: a browser that then fails to open the link does not undo the rule.
            m_store.add(std::move(rule));
        }
    }
    // The hand-over's activation was the panel's; the browser comes to the front as what the user's choice asked
    // for, where Linkherd can say so.
    const LaunchActivation fresh{QString(), WindowActivation::startupIDForInputAt(std::exchange(m_inputTime, 0))};
    m_launch({.url = url, .browserDesktopID = browser.desktopID, .profile = chosenProfile,
              .sourceDesktopID = sourceDesktopID},
             fresh);
    finishFirst();
    showNext();
}

bool ChooserController::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        // Only Qt's X11 platform has the X server's clock, the one a startup ID's time is read in.
        if (QGuiApplication::platformName() == u"xcb"_s)
            m_inputTime = static_cast<QInputEvent*>(event)->timestamp();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void ChooserController::cancel()
{
    finishFirst();
    showNext();
}

void ChooserController::finishFirst()
{
    if (!m_queue.isEmpty())
        Q_EMIT finished(m_queue.takeFirst().id);
}
