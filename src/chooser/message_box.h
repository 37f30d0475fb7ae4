#pragma once

#include "routing/router.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Every alert Linkherd shows goes through here, so that tests can answer it instead of a person.
// Main thread only.
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

    MessageBox() = delete;

    // Runs the alert modally and returns the index of the button chosen. Escape (or closing the alert)
    // answers with the last button, which is the cancelling one wherever alerts have more than one.
    static int show(const Message& message, QWidget* parent = nullptr);
    // A warning-style alert, as the router's failure handling needs it.
    static int show(const Router::Alert& alert);

    // The next alert is answered with this index without being shown; answers queue up in order.
    static void setNextAnswer(int index);
    // The last alert shown or answered.
    static std::optional<Message> lastShown();
    // Forgets queued answers and the last alert.
    static void reset();
};
