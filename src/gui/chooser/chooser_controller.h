#pragma once

#include "browsers/browsers.h"
#include "services/router.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class ChooserPanel;
class ChooserView;
class Preferences;
class RuleStore;
class QWidget;

// Asks the user about the links the router cannot decide, one at a time, in the "Open Link" panel; links
// that arrive meanwhile wait in order. One instance for the life of the application. Main thread only.
class ChooserController final : public QObject {
    Q_OBJECT

public:
    // Opens the chosen link in the chosen browser and profile, with Linkherd's own activation for the input that
    // chose it; the router does, which keeps it among the recent links.
    using Launch = std::function<void(const Router::Routed& chosen, const LaunchActivation& activation)>;

    ChooserController(Launch launch, RuleStore& store, Preferences& preferences, QObject* parent = nullptr);
    ~ChooserController() override;

    // Shows the request at once when nothing is on screen; otherwise it waits behind the others. Either way the
    // panel comes to the front with the request's activation, which it takes.
    void enqueue(const Router::Request& request);
    // Optionally keeps the choice as a rule for the link's host, opens the link (in the profile, unless empty),
    // records it, moves on.
    void choose(const Browsers::Browser& browser, const QString& profile, bool remember,
                const Router::Request& request);
    // Drops the link on screen without opening it anywhere, and moves on.
    void cancel();
    // Brings the panel back in front of the user, neither minimized nor maximized, and active; false while idle.
    // The activation, when there is one, is what lets a Wayland compositor give the panel the focus.
    bool raisePanel(const LaunchActivation& activation = {});

    // Waiting requests, oldest (the one on screen) first.
    const QList<Router::Request>& queue() const { return m_queue; }
    // The panel while a request is on screen; null while idle.
    QWidget* panel() const;
    ChooserView* view() const;

Q_SIGNALS:
    // The request has left the queue: its link was opened or dropped.
    void finished(const QUuid& request);

protected:
    // Notes the time of the user's input in the panel, for the launch it leads to.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showNext(const LaunchActivation& activation = {});
    void closePanel();
    void finishFirst();

    Launch m_launch;
    RuleStore& m_store;
    Preferences& m_preferences;
    QList<Router::Request> m_queue;
    QPointer<ChooserPanel> m_panel;
    QPointer<ChooserView> m_view;
    quint64 m_inputTime = 0; // of the user's last key or click in the panel, in the window system's clock
};
