#include "cli_context.h"

#include "routing/rules_file.h"

using namespace Qt::StringLiterals;

std::optional<RulesDocument> CliContext::loadRules() const
{
    RulesFile::Contents contents = RulesFile::read(rulesPath);
    switch (contents.status) {
    case RulesFile::Contents::Status::missing:
        return RulesDocument();
    case RulesFile::Contents::Status::decoded:
        return std::move(contents.document);
    case RulesFile::Contents::Status::unreadable:
        break;
    }
    err << "linkherd: " << rulesPath << ": " << contents.error << Qt::endl;
    return std::nullopt;
}

int CliContext::usageError(const QString& message) const
{
    err << "linkherd: " << message << "\nTry 'linkherd help' for the commands." << Qt::endl;
    return ExitCode::usage;
}

int CliContext::failure(const QString& message) const
{
    err << "linkherd: " << message << Qt::endl;
    return ExitCode::failure;
}

Result<CommandArguments> CommandArguments::parse(const QStringList& arguments, const QStringList& flagNames,
                                                 const QStringList& valueNames)
{
    CommandArguments parsed;
    bool optionsEnded = false;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (optionsEnded || !argument.startsWith(u"--"_s) || argument.size() == 2) {
            if (argument == u"--"_s && !optionsEnded)
                optionsEnded = true;
            else
                parsed.positional.append(argument);
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = equals >= 0 ? argument.first(equals) : argument;
        if (flagNames.contains(name) && equals < 0) {
            parsed.flags.insert(name);
        } else if (valueNames.contains(name)) {
            if (equals >= 0) {
                parsed.values.insert(name, argument.mid(equals + 1));
            } else if (index + 1 < arguments.size()) {
                parsed.values.insert(name, arguments[++index]);
            } else {
                return Failure{name + u" needs a value"_s};
            }
        } else {
            return Failure{u"unknown option "_s + name};
        }
    }
    return parsed;
}
