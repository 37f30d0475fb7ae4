#pragma once

#include <QString>
#include <QVariantMap>

#include <memory>

// What lets a launched application's window come to the front on behalf of the user's click: the xdg-activation
// token (Wayland) and the startup notification ID (X11) that the clicking application's launcher made for this
// launch. A desktop honours each once, for one window.
struct LaunchActivation {
    QString token;     // XDG_ACTIVATION_TOKEN; "activation-token" in org.freedesktop.Application's platform_data
    QString startupID; // DESKTOP_STARTUP_ID; "desktop-startup-id"

    // Longer texts are not tokens but someone's mistake or malice; they are dropped.
    static constexpr qsizetype longest = 4096;

    bool isEmpty() const { return token.isEmpty() && startupID.isEmpty(); }
    friend bool operator==(const LaunchActivation&, const LaunchActivation&) = default;

    // From org.freedesktop.Application's platform_data. A value that is not a string, is too long or holds
    // control characters counts as absent.
    static LaunchActivation fromPlatformData(const QVariantMap& platformData);
    // From this process's environment, which loses it: nothing started from here later may inherit it.
    static LaunchActivation takeFromEnvironment();
};

// The activation of one hand-over of links, shared by every place those links go. The first launch or window that
// uses it takes it; the others, and anything later, find it empty.
using HandOverActivation = std::shared_ptr<LaunchActivation>;

// The activation, once: empties the shared one. Empty for none.
LaunchActivation takeActivation(const HandOverActivation& activation);
// Shared for the links of one hand-over; none when there is nothing to share.
HandOverActivation shareActivation(const LaunchActivation& activation);
