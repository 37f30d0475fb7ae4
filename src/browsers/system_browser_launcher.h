#pragma once

#include "browser_launching.h"
#include "browsers.h"
#include "platform/launch_activation.h"
#include "platform/posix/argument_limits.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class ApplicationCatalog;
class ApplicationLauncher;

// Plain opens asked for in one turn of the event loop go out together at its end, or at launchWaiting (the end of
// a hand-over): consecutive links for the same browser as one launch (as many as one start of a program can
// carry), so a browser that takes several links gets them at once and in order instead of racing several of its
// processes against each other. Links of different hand-overs with an activation never share a launch: an
// activation reaches only its own links' browser.
//
// A link longer than one argument can be is refused before anything starts, whatever the browser: also one
// that takes links over D-Bus, since a link must not open or fail depending on how the chosen browser
// happens to be started, and such a browser may well pass it on to a process of its own as an argument.
class SystemBrowserLauncher final : public BrowserLaunching {
public:
    SystemBrowserLauncher(ApplicationCatalog& catalog, ApplicationLauncher& launcher,
                          ArgumentLimits limits = ArgumentLimits::ofThisSystem());
    // Launches whatever is still waiting for the end of the turn.
    ~SystemBrowserLauncher() override;
    SystemBrowserLauncher(const SystemBrowserLauncher&) = delete;
    SystemBrowserLauncher& operator=(const SystemBrowserLauncher&) = delete;

    void open(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
              Destination::Window window, const HandOverActivation& activation, FailureHandler onFailure) override;
    void open(const QString& link, const Browsers::Browser& browser, FailureHandler onFailure) override;
    void launchWaiting() override;

    // Called once each launch has settled, however it ended; a short-lived process waits for it.
    std::function<void()> onSettled;

private:
    struct PendingLaunches;

    // Schedules the failure and returns true for text that is not a link or too long to hand over.
    bool refuses(const QString& link, const Browsers::Browser& browser, FailureHandler& onFailure);
    void openPlain(const QString& link, const Browsers::Browser& browser, const HandOverActivation& activation,
                   FailureHandler onFailure);
    // Starts the browser's own command with the profile's and the window's options; false when there are none
    // to give or it could not start.
    bool launchWithOptions(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
                           Destination::Window window, const HandOverActivation& activation);

    ApplicationCatalog& m_catalog;
    ApplicationLauncher& m_launcher;
    ArgumentLimits m_limits;
    std::shared_ptr<PendingLaunches> m_pending;
};

// The command that starts a browser's own executable with options (a profile's, a window's): the entry's Exec without
// field codes, then the options and the link; for a Flatpak, the options go right after the application ID
// and the link takes the place of the %U or %u. Empty when Exec is empty.
QStringList profileLaunchCommand(const QStringList& exec, const QString& flatpakID, const QStringList& options,
                                 const QString& link);
