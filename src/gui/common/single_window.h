#pragma once

#include "platform/launch_activation.h"

#include <QPointer>
#include <QWidget>

#include <functional>

// The one window of a kind that a controller shows: made by `create` at the first show (and at the next after it
// was forgotten), then on every show brought out of the minimized state, raised and activated with the request's
// activation (presentWindow). Deleted with this object. Main thread only.
class SingleWindow final {
public:
    explicit SingleWindow(std::function<QWidget*()> create) : m_create(std::move(create)) {}
    ~SingleWindow() { delete m_window; }
    SingleWindow(const SingleWindow&) = delete;
    SingleWindow& operator=(const SingleWindow&) = delete;

    void show(const LaunchActivation& activation);
    // Lets the window go (it deletes itself): the next show makes a new one.
    void forget() { m_window.clear(); }

    // Null until first shown, and after it is gone or forgotten.
    QWidget* window() const { return m_window; }

private:
    std::function<QWidget*()> m_create;
    QPointer<QWidget> m_window;
};
