#pragma once

#include "browsers/browsers.h"
#include "destination.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>

class BrowserLaunching;
class Preferences;
class RuleStore;

// Takes every link that reaches Linkherd to a browser or to the chooser: cleans it, lets a held Alt key
// override the rules, evaluates the rules, launches, and remembers the last links it opened. Main thread.
class Router final : public QObject {
    Q_OBJECT

public:
    // A link waiting for the user's choice.
    struct Request {
        QUuid id = QUuid::createUuid();
        QString url;            // already cleaned
        QString sourceBundleID; // empty when the source is not known

        friend bool operator==(const Request&, const Request&) = default;
    };

    // A link that was opened, as the recent list keeps it.
    struct Routed {
        QUuid id = QUuid::createUuid();
        QString url;
        QString browserBundleID;
        std::optional<QString> profile;
        QString sourceBundleID; // empty when the source is not known

        friend bool operator==(const Routed&, const Routed&) = default;
    };

    // The alert shown when a browser refuses a link; the answer is the index of the button chosen.
    struct Alert {
        QString message;
        QString informativeText;
        QStringList buttons;
    };

    static constexpr qsizetype recentCapacity = 10;

    Router(RuleStore& store, Preferences& preferences, BrowserLaunching& launcher, QObject* parent = nullptr);

    void route(const QString& link, const QString& sourceBundleID = QString());
    void remember(const Routed& routed);
    void clearRecent();
    // Called on the main thread when a browser would not open a link.
    void reportFailure(const QString& error, const QString& url, const Browsers::Browser& browser);

    // The application the link being handled came from; empty when it is not known.
    static QString sourceApplication();

    const QList<Routed>& recent() const { return m_recent; }

    // The keyboard modifiers at this moment; by default the desktop's, where it has a global keyboard state.
    std::function<Qt::KeyboardModifiers()> currentModifiers;
    // Where links go that need the user's choice; installed by the application at start-up.
    std::function<void(const Request&)> presentChooser;
    // Shows an alert and returns the chosen button's index; installed by the application at start-up.
    // Without one, an alert counts as answered with its last button (Cancel).
    std::function<int(const Alert&)> showAlert;

Q_SIGNALS:
    void recentChanged();

private:
    bool shouldAsk() const;
    void askChooser(const QString& link, const QString& sourceBundleID);
    void open(const QString& link, const Destination& destination, const QString& sourceBundleID);
    void openFallback(const QString& link, const QString& sourceBundleID);
    void launch(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
                const QString& sourceBundleID);
    void setRecent(QList<Routed> recent);

    RuleStore& m_store;
    Preferences& m_preferences;
    BrowserLaunching& m_launcher;
    QList<Routed> m_recent;
};
