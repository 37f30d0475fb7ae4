#include "running_instance.h"

namespace RunningInstance {

namespace {

Result<Outcome> outcomeOf(const InstanceForwarding::Answer& answer)
{
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

} // namespace

Result<Outcome> forward(const QStringList& links, const QString& sourceApplication, const LaunchActivation& activation)
{
    std::vector<std::string> encoded;
    encoded.reserve(static_cast<size_t>(links.size()));
    for (const QString& link : links)
        encoded.push_back(link.toStdString());
    return outcomeOf(
        InstanceForwarding::forward(encoded, {sourceApplication.toStdString(), activation.token.toStdString(),
                                              activation.startupID.toStdString()}));
}

Result<Outcome> activateAction(const QString& action, const LaunchActivation& activation)
{
    return outcomeOf(InstanceForwarding::activateAction(
        action.toStdString(), {{}, activation.token.toStdString(), activation.startupID.toStdString()}));
}

} // namespace RunningInstance
