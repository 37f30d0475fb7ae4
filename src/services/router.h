#pragma once

#include "browsers/browsers.h"
#include "link_source.h"
#include "platform/launch_activation.h"
#include "routing/destination.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <chrono>
#include <functional>
#include <optional>

class BrowserLaunching;
class Preferences;
class RuleStore;

// Takes every link that reaches Linkherd to a browser or to the chooser: cleans it, lets a held Alt key or a
// request to ask for the next link override the rules, evaluates the rules, launches, and remembers the last links it
// opened. Main thread.
class Router final : public QObject {
    Q_OBJECT

public:
    // A link waiting for the user's choice.
    struct Request {
        QUuid id = QUuid::createUuid();
        QString url;             // already cleaned
        QString sourceDesktopID; // empty when the source is not known
        // The hand-over's, for bringing the panel to the front; the browser picked there does not get it.
        HandOverActivation activation;

        friend bool operator==(const Request&, const Request&) = default;
    };

    // A link that was opened, as the recent list keeps it.
    struct Routed {
        QUuid id = QUuid::createUuid();
        QString url;
        QString browserDesktopID;
        std::optional<QString> profile;
        QString sourceDesktopID; // empty when the source is not known

        friend bool operator==(const Routed&, const Routed&) = default;
    };

    // The alert shown when browsers refuse links; the answer is the index of the button chosen.
    struct Alert {
        QString message;
        QString informativeText;
        QStringList buttons;

        friend bool operator==(const Alert&, const Alert&) = default;
    };
    // Called once, with the index of the button chosen.
    using AlertAnswer = std::function<void(int button)>;

    static constexpr qsizetype recentCapacity = 10;
    // One alert names this many failures; it counts the rest.
    static constexpr qsizetype reasonsShown = 3;
    // The failed links one alert can offer to the chooser; any beyond are counted and dropped.
    static constexpr qsizetype failuresKept = 100;
    // The characters of a link or a reason an alert shows; longer texts lose their middle.
    static constexpr qsizetype alertTextLength = 300;
    // How long a request to ask for the next link waits for that link.
    static constexpr std::chrono::minutes askNextWindow{2};

    Router(RuleStore& store, Preferences& preferences, BrowserLaunching& launcher, QObject* parent = nullptr);

    // False when the text is not a link (it has no scheme): it is refused without an alert. The activation is the
    // hand-over's the link is part of: the first launch or panel its links reach takes it.
    // The source is worked out only when a rule looks at source applications or the link goes to the chooser.
    bool route(const QString& link, const LinkSource& source = {}, const HandOverActivation& activation = nullptr);
    // The one way a link leaves for a browser, for the rules and the chooser alike: opens it (in the profile and
    // window, when given) with the activation, remembers it among the recent links, and has a failure told in an
    // alert.
    void launch(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
                const QString& sourceDesktopID, const HandOverActivation& activation,
                Destination::Window window = Destination::Window::usual);
    // A choice made in a window: the browser by its desktop ID, which may have gone meanwhile (a failure, told as
    // any other).
    void launch(const Routed& chosen, const LaunchActivation& activation);
    void remember(const Routed& routed);
    // The next link that arrives within askNextWindow goes to the chooser whatever the rules; the links after it
    // are routed as before. Holding Alt does the same for one click, but only where Linkherd can read the
    // keyboard (an X11 window has the focus); this works on every desktop. Asking again starts the wait anew.
    void askForNextLink();
    void clearRecent();
    // Called on the main thread when a browser would not open a link. Failures reported in one turn of the
    // event loop, and those that arrive while an alert is on screen, are told in one alert; its "Choose Another
    // Browser…" takes each of their links to the chooser.
    void reportFailure(const QString& error, const QString& url, const Browsers::Browser& browser);

    // The application the link being handled came from; empty when it is not known.
    static QString sourceApplication();

    const QList<Routed>& recent() const { return m_recent; }

    // The keyboard modifiers at this moment; by default the desktop's, where it has a global keyboard state.
    std::function<Qt::KeyboardModifiers()> currentModifiers;
    // The time that askForNextLink's wait is measured in; the steady clock's, unless a test sets its own.
    std::function<std::chrono::steady_clock::time_point()> now;
    // Where links go that need the user's choice; installed by the application at start-up.
    std::function<void(const Request&)> presentChooser;
    // Shows an alert without waiting for the answer (it may come at once); installed by the application at
    // start-up. Without one, an alert counts as answered with its last button (Cancel).
    std::function<void(const Alert&, AlertAnswer)> showAlert;

Q_SIGNALS:
    void recentChanged();

private:
    struct Failure {
        QString error;
        QString url;
        QString browserName;
    };

    bool shouldAsk();
    void askChooser(const QString& link, const QString& sourceDesktopID, const HandOverActivation& activation);
    void open(const QString& link, const Destination& destination, const LinkSource& source,
              const HandOverActivation& activation);
    void openFallback(const QString& link, const LinkSource& source, const HandOverActivation& activation);
    void setRecent(QList<Routed> recent);
    void scheduleFailureAlert();
    void showFailureAlert();
    void answerFailureAlert(const QList<Failure>& failures, int answer);

    RuleStore& m_store;
    Preferences& m_preferences;
    BrowserLaunching& m_launcher;
    QList<Routed> m_recent;
    QList<Failure> m_failures;    // not told yet, oldest first; at most failuresKept
    qsizetype m_failureCount = 0; // not told yet, those beyond failuresKept included
    bool m_failureAlertScheduled = false;
    bool m_failureAlertOpen = false;
    std::optional<std::chrono::steady_clock::time_point> m_askNextUntil;
};
