#pragma once

#include <string>
#include <vector>

// Handing links to the running Linkherd over the session bus, with nothing but GIO: linkherd-app runs this for
// every link the desktop opens, so it must not pay for loading Qt.
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

// Calls org.freedesktop.Application.Open with the links (UTF-8; Activate when there are none) on the instance
// that owns serviceName. Never starts one: the call does not auto-start, so without an owner the answer is
// noInstance at the cost of one round trip.
Answer forward(const std::vector<std::string>& links, const std::string& sourceApplication = {});

} // namespace InstanceForwarding
