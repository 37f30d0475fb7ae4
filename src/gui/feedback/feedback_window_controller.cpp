#include "feedback_window_controller.h"

#include "feedback/feedback_service.h"
#include "feedback_view.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Titled and closable; neither resizable nor minimizable: its size is the form's.
class FeedbackWindow final : public QWidget {
public:
    explicit FeedbackWindow(std::function<void()> closing)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
          m_closing(std::move(closing))
    {
        setAttribute(Qt::WA_DeleteOnClose);
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        // Forgotten at once, not when the deletion comes round: a show in between makes a new window.
        if (m_closing)
            m_closing();
        QWidget::closeEvent(event);
    }

private:
    std::function<void()> m_closing;
};

} // namespace

FeedbackWindowController::FeedbackWindowController(const QString& toolPath, QObject* parent)
    : QObject(parent),
      m_service(new FeedbackService(toolPath, this))
{}

QWidget* FeedbackWindowController::create()
{
    // The controller outlives its window: it deletes the window when it goes.
    auto* window = new FeedbackWindow([this] {
        m_window.forget();
        m_view = nullptr;
    });
    window->setWindowTitle(u"Send Feedback"_s);
    window->setAccessibleName(u"Send Feedback"_s);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_view = new FeedbackView(*m_service, window);
    m_view->onDismiss = [window] { window->close(); };
    layout->addWidget(m_view);
    window->adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    return window;
}

void FeedbackWindowController::show(const LaunchActivation& activation)
{
    m_window.show(activation);
}
