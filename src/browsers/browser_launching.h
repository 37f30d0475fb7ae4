#pragma once

#include "browsers.h"
#include "platform/launch_activation.h"
#include "routing/destination.h"

#include <QString>

#include <functional>
#include <optional>

// The one place where Linkherd hands a link to another application. It never blocks and never reports
// success; a failure reaches the handler later, on the main thread, exactly once.
class BrowserLaunching {
public:
    using FailureHandler = std::function<void(const QString& error)>;

    virtual ~BrowserLaunching() = default;

    // In the given profile when the browser has profiles, in the given window when it can open one; what it
    // cannot honour (a profile that is gone, a window it has no way to open) is left out, with a warning. The
    // launch that carries the link takes the hand-over's activation unless an earlier launch has taken it.
    virtual void open(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
                      Destination::Window window, const HandOverActivation& activation, FailureHandler onFailure) = 0;
    virtual void open(const QString& link, const Browsers::Browser& browser, FailureHandler onFailure) = 0;
    // Starts what was asked for so far now rather than at the end of the event loop's turn: a hand-over's links
    // are all routed, and the first link of a cold start must not wait behind whatever else the turn holds.
    virtual void launchWaiting() {}
};
