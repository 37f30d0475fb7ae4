#pragma once

#include "gui/common/single_window.h"
#include "platform/launch_activation.h"

#include <QObject>
#include <QString>

class FeedbackService;
class FeedbackView;
class QWidget;

// The "Send Feedback" window: made when shown and forgotten when closed, so every opening starts with an empty
// form. A send still in flight when the window closes is cancelled, its connection let go. One per process,
// main thread.
class FeedbackWindowController final : public QObject {
    Q_OBJECT

public:
    // toolPath: the `linkherd` tool, which each send runs (FeedbackService).
    explicit FeedbackWindowController(const QString& toolPath, QObject* parent = nullptr);

    // Shows the window (made when there is none), raised and active, with the activation that came with the
    // request when there is one.
    void show(const LaunchActivation& activation = {});

    // Null while no window is open.
    QWidget* window() const { return m_window.window(); }
    FeedbackView* view() const { return m_window.window() ? m_view : nullptr; }
    FeedbackService& service() { return *m_service; }

private:
    QWidget* create();

    FeedbackService* m_service;
    SingleWindow m_window{[this] { return create(); }};
    FeedbackView* m_view = nullptr; // the window's content, gone with it
};
