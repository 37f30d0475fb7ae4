#pragma once

#include "base/result.h"
#include "instance_forwarding/instance_forwarding.h"
#include "launch_activation.h"

#include <QString>
#include <QStringList>

// The resident's side of finding a Linkherd already running: before this process has built any Qt application, a
// second resident hands its links to the first over the session bus (instance_forwarding, as linkherd-app does)
// and exits at once. The object that answers such calls is the application's ApplicationBus.
namespace RunningInstance {

using InstanceForwarding::objectPath;
using InstanceForwarding::serviceName;
using InstanceForwarding::sourceKey;

enum class Outcome { forwarded, noInstance };

// Calls org.freedesktop.Application.Open with the links (Activate when there are none) on the instance that
// owns serviceName. Never starts one: without an owner (or without a session bus) the answer is noInstance.
Result<Outcome> forward(const QStringList& links, const QString& sourceApplication,
                        const LaunchActivation& activation = {});
// Calls org.freedesktop.Application.ActivateAction with the action on that instance, the same way.
Result<Outcome> activateAction(const QString& action, const LaunchActivation& activation = {});

} // namespace RunningInstance
