#include "cli_context.h"

#include "command.h"
#include "command_help.h"
#include "routing/rules_file.h"

#include <QEventLoop>
#include <QTimer>

using namespace Qt::StringLiterals;

Result<RulesDocument> CliContext::loadRules() const
{
    Result<std::optional<RulesFile::Contents>, RulesFile::Unreadable> read = RulesFile::read(rulesPath);
    if (!read)
        return Failure{rulesPath + u": "_s + read.error().error};
    if (!*read)
        return RulesDocument();
    return std::move(read.value()->document);
}

int CliContext::usageError(const QString& message) const
{
    err << "linkherd: " << message << '\n';
    if (command)
        err << CommandHelp::usage(*command) << "Try 'linkherd help " << command->name << "' for more." << Qt::endl;
    else
        err << "Try 'linkherd help' for the commands." << Qt::endl;
    return ExitCode::usage;
}

int CliContext::failure(const QString& message) const
{
    err << "linkherd: " << message << Qt::endl;
    return ExitCode::failure;
}

bool waitForDesktop(const std::function<void(std::function<void()> done)>& start)
{
    constexpr int settleTimeoutMs = 30'000;
    QEventLoop loop;
    bool finished = false;
    start([&] {
        finished = true;
        loop.quit();
    });
    if (!finished) {
        QTimer::singleShot(settleTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return finished;
}
