#pragma once

#include <string>
#include <vector>

// Handing links to the running Linkherd over the session bus, with nothing but libdbus: linkherd-app runs this
// for every link the desktop opens, so it must not pay for loading Qt or GLib.
namespace InstanceForwarding {

inline constexpr char serviceName[] = "org.linkherd.Linkherd";
inline constexpr char objectPath[] = "/org/linkherd/Linkherd";
// platform_data key under which a caller may name the application the links come from.
inline constexpr char sourceKey[] = "org.linkherd.source";

enum class Outcome {
    forwarded,  // the instance took the links
    noInstance, // nobody owns serviceName, or there is no session bus
    failed,     // the owner did not answer; error says why
};

struct Answer {
    Outcome outcome = Outcome::noInstance;
    std::string error;
};

// Calls org.freedesktop.Application.Open with the links (Activate when there are none) on the instance that owns
// serviceName. Never starts one: the call does not auto-start, so without an owner the answer is noInstance at
// the cost of one round trip. Text that is not UTF-8 is refused (failed) before anything is sent.
Answer forward(const std::vector<std::string>& links, const std::string& sourceApplication = {});

// Whether the bus can carry this text: UTF-8 without NUL characters.
bool isText(const std::string& text);

} // namespace InstanceForwarding
