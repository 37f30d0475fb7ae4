#pragma once

#include "browsers/browser_launching.h"

#include <QList>

#include <functional>

// Records every launch instead of starting a browser; a failing browser is played by calling the kept failure
// handler of its launch with an error, as late as the test wants.
class RecordingLauncher final : public BrowserLaunching {
public:
    struct Open {
        QString link;
        QString desktopID;
        std::optional<QString> profile;
    };
    QList<Open> opens;
    QList<FailureHandler> failures;
    std::function<void()> onOpen; // runs as each launch is recorded, to look at the state the launch saw

    void open(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
              Destination::Window, const HandOverActivation&, FailureHandler onFailure) override
    {
        opens.append({link, browser.desktopID, profile});
        failures.append(std::move(onFailure));
        if (onOpen)
            onOpen();
    }
    void open(const QString& link, const Browsers::Browser& browser, FailureHandler onFailure) override
    {
        open(link, browser, std::nullopt, Destination::Window::usual, nullptr, std::move(onFailure));
    }
};
