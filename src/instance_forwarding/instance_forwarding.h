#pragma once

#include <string>
#include <vector>

// The calling side of handing links to the running Linkherd over the session bus, with nothing but libdbus:
// linkherd-app runs this for every link the desktop opens, so it must not pay for loading Qt or GLib. The resident
// answers in ApplicationBus (src/app).
namespace InstanceForwarding {

inline constexpr char serviceName[] = "org.linkherd.Linkherd";
inline constexpr char objectPath[] = "/org/linkherd/Linkherd";
// platform_data key under which a caller may name the application the links come from.
inline constexpr char sourceKey[] = "org.linkherd.source";
// Set in the environment of a resident that linkherd-app starts itself: its standard error is linkherd-app's
// pipe, which relays start-up errors to linkherd-app's caller and closes when linkherd-app ends. The resident
// lets go of it once it serves on the bus.
inline constexpr char startupErrorsVariable[] = "LINKHERD_STARTUP_ERRORS";

enum class Outcome {
    forwarded,  // the instance took the links
    noInstance, // nobody owns serviceName, and the bus was not to start one or has no service file for it
    noBus,      // there is no session bus to reach
    notStarted, // the bus tried to start the instance from its service file and failed; error says why
    failed,     // the owner did not answer; error says why
};

// Whether the bus may start the instance (D-Bus activation through the installed service file) when nobody owns
// serviceName.
enum class Start { never, byBus };

// What goes with the links in the call's platform_data; empty texts are left out.
struct HandOver {
    std::string sourceApplication; // under sourceKey
    std::string activationToken;   // "activation-token": the clicking application's XDG_ACTIVATION_TOKEN
    std::string startupID;         // "desktop-startup-id": its DESKTOP_STARTUP_ID
};

struct Answer {
    Outcome outcome = Outcome::noInstance;
    std::string error;
};

// Calls org.freedesktop.Application.Open with the links (Activate when there are none) on the instance that owns
// serviceName, waiting for its answer. With Start::never, nobody owning the name costs one round trip and gives
// noInstance. Text that is not UTF-8 is refused (failed) before anything is sent.
Answer forward(const std::vector<std::string>& links, const HandOver& handOver = {}, Start start = Start::never);

// Calls org.freedesktop.Application.ActivateAction with the action's name and no parameter on that instance, as
// forward does: "feedback" shows the feedback window. Outcome::forwarded when the instance took the request.
Answer activateAction(const std::string& action, const HandOver& handOver = {}, Start start = Start::never);

// Whether the bus can carry this text: UTF-8 without NUL characters.
bool isText(const std::string& text);

} // namespace InstanceForwarding
