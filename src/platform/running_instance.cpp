#include "running_instance.h"

namespace RunningInstance {

Result<Outcome> forward(const QStringList& links, const QString& sourceApplication, const LaunchActivation& activation)
{
    std::vector<std::string> encoded;
    encoded.reserve(static_cast<size_t>(links.size()));
    for (const QString& link : links)
        encoded.push_back(link.toStdString());
    const InstanceForwarding::Answer answer = InstanceForwarding::forward(
        encoded, {sourceApplication.toStdString(), activation.token.toStdString(), activation.startupID.toStdString()});
    switch (answer.outcome) {
    case InstanceForwarding::Outcome::forwarded:
        return Outcome::forwarded;
    case InstanceForwarding::Outcome::noInstance:
    case InstanceForwarding::Outcome::noBus:
        return Outcome::noInstance;
    case InstanceForwarding::Outcome::notStarted:
    case InstanceForwarding::Outcome::failed:
        break;
    }
    return Failure{QString::fromStdString(answer.error)};
}

} // namespace RunningInstance
