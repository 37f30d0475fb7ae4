#pragma once

#include "services/router.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// Every alert Linkherd shows goes through here, so that tests can answer it instead of a person. Alerts never
// run an event loop of their own: one nested under another, with links arriving meanwhile, piles up without
// bound. Main thread only.
class MessageBox final {
public:
    enum class Style { information, warning, critical };

    struct Message {
        Style style = Style::warning;
        QString text;
        QString informativeText;
        QStringList buttons; // in this order; empty: the platform's single OK button

        friend bool operator==(const Message&, const Message&) = default;
    };
    // Called once, with the index of the button chosen.
    using Answer = std::function<void(int button)>;

    MessageBox() = delete;

    // Shows the alert and returns at once; the answer comes later, from the event loop. Escape (or closing the
    // alert) answers with the last button, which is the cancelling one wherever alerts have more than one.
    static void open(const Message& message, Answer answered, QWidget* parent = nullptr);
    // A warning-style alert, as the router's failure handling needs it.
    static void open(const Router::Alert& alert, Answer answered);

    // Whether anyone can see an alert: not on the offscreen or minimal platform.
    static bool canShow();

    // The next alert is answered with this index without being shown, before open() returns; answers queue up
    // in order.
    static void setNextAnswer(int index);
    // The last alert shown or answered.
    static std::optional<Message> lastShown();
    // Forgets queued answers and the last alert.
    static void reset();
};
