#pragma once

#include "instance_forwarding.h"
#include "launch_activation.h"
#include "routing/result.h"

#include <QString>
#include <QStringList>

// Reaching the running Linkherd over the session bus before this process has built any Qt application:
// a second `linkherd-app URL…` hands its links over and exits at once.
namespace InstanceBus {

using InstanceForwarding::objectPath;
using InstanceForwarding::serviceName;
using InstanceForwarding::sourceKey;

enum class Outcome { forwarded, noInstance };

// Calls org.freedesktop.Application.Open with the links (Activate when there are none) on the instance that
// owns serviceName. Never starts one: without an owner (or without a session bus) the answer is noInstance.
Result<Outcome> forward(const QStringList& links, const QString& sourceApplication,
                        const LaunchActivation& activation = {});

} // namespace InstanceBus
