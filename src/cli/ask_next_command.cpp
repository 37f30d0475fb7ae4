#include "ask_next_command.h"

#include "instance_forwarding/instance_forwarding.h"

using namespace Qt::StringLiterals;

int runAskNext(const CliContext& context, const CommandArguments&)
{
    // The request is the resident's to keep, so the bus starts it when it is not running, as for a link.
    const InstanceForwarding::Answer answer =
        InstanceForwarding::activateAction("ask-next", {}, InstanceForwarding::Start::byBus);
    switch (answer.outcome) {
    case InstanceForwarding::Outcome::forwarded:
        context.out << "The next link within two minutes goes to the chooser.\n";
        return ExitCode::success;
    case InstanceForwarding::Outcome::noBus:
        return context.failure(u"there is no session bus to reach Linkherd on"_s);
    case InstanceForwarding::Outcome::noInstance:
        return context.failure(u"Linkherd is not running, and the session bus cannot start it"_s);
    case InstanceForwarding::Outcome::notStarted:
    case InstanceForwarding::Outcome::failed:
        break;
    }
    return context.failure(u"Linkherd did not take the request (%1)"_s.arg(QString::fromStdString(answer.error)));
}
