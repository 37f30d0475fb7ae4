#include "cli.h"

#include "app_info.h"
#include "browsers/browsers.h"
#include "command.h"
#include "command_help.h"

using namespace Qt::StringLiterals;

namespace {

QString commaList(const QStringList& items)
{
    if (items.size() < 2)
        return items.join(QString());
    return items.first(items.size() - 1).join(u", "_s) + u" or "_s + items.back();
}

// The command that the first words of `words` name, taking them off; nullptr and a usage error when none does.
const Command* takeCommand(const CliContext& context, QStringList& words, int& error)
{
    const QString first = words.takeFirst();
    if (!words.isEmpty()) {
        if (const Command* command = findCommand(first + u' ' + words.front())) {
            words.removeFirst();
            return command;
        }
    }
    const bool isGroup = commandGroups().contains(first);
    if (isGroup && !words.isEmpty() && !words.front().startsWith(u'-')) {
        error = context.usageError(u"unknown %1 command %2"_s.arg(first, words.front()));
        return nullptr;
    }
    if (const Command* command = findCommand(first))
        return command;
    if (isGroup) {
        QStringList verbs;
        for (const Command& command : commands()) {
            if (command.name.startsWith(first + u' '))
                verbs.append(command.name.mid(first.size() + 1));
        }
        error = context.usageError(u"%1 needs a command: %2"_s.arg(first, commaList(verbs)));
        return nullptr;
    }
    error = context.usageError(u"unknown command "_s + first);
    return nullptr;
}

// What is wrong with the command line before the command looks at it, as the table declares the command.
std::optional<QString> checkArguments(const Command& command, const CommandArguments& arguments)
{
    for (const auto& [name, value] : arguments.values.asKeyValueRange()) {
        const CommandOption* option = command.option(name);
        if (option->kind == ValueKind::choice && !option->choices.contains(value))
            return u"%1 takes %2"_s.arg(name, commaList(option->choices));
    }
    qsizetype least = 0;
    qsizetype most = 0;
    QStringList nouns;
    for (const CommandPositional& positional : command.positionals) {
        using Count = CommandPositional::Count;
        least += positional.count == Count::one || positional.count == Count::oneOrMore ? 1 : 0;
        most += positional.count == Count::one || positional.count == Count::optional ? 1 : 1'000'000;
        nouns.append(positional.noun);
    }
    const qsizetype given = arguments.positional.size();
    if (given >= least && given <= most)
        return std::nullopt;
    if (nouns.isEmpty())
        return command.name + (command.options.isEmpty() ? u" takes no arguments"_s : u" takes options only"_s);
    return command.name + u" takes "_s + nouns.join(u" and "_s);
}

bool hasDesktop(DesktopNeed need, const CliServices& services)
{
    switch (need) {
    case DesktopNeed::none:
        return true;
    case DesktopNeed::catalog:
        return services.catalog;
    case DesktopNeed::all:
        return services.catalog && services.launcher && services.defaultHandlers && services.autostart;
    }
    return false;
}

int runCommand(CliContext& context, const Command& command, const QStringList& words)
{
    context.command = &command;
    const qsizetype optionsEnd = words.indexOf(u"--"_s);
    if (words.first(optionsEnd < 0 ? words.size() : optionsEnd).contains(u"--help"_s)) {
        context.out << CommandHelp::ofCommand(command);
        return ExitCode::success;
    }
    QStringList flags;
    QStringList values;
    QStringList lists;
    for (const CommandOption& option : command.options)
        (option.repeatable ? lists : option.takesValue() ? values : flags).append(option.name);
    const Result<CommandArguments> parsed = CommandArguments::parse(words, flags, values, lists);
    if (!parsed)
        return context.usageError(parsed.error());
    if (const std::optional<QString> wrong = checkArguments(command, *parsed))
        return context.usageError(*wrong);
    if (!hasDesktop(command.needs, context.services))
        return context.failure(u"%1 needs a desktop to work with"_s.arg(command.name));
    return command.handler(context, *parsed);
}

} // namespace

int runHelp(const CliContext& context, const CommandArguments& arguments)
{
    const QString name = arguments.positional.join(u' ');
    if (name.isEmpty()) {
        context.out << CommandHelp::overview();
    } else if (const Command* command = findCommand(name)) {
        context.out << CommandHelp::ofCommand(*command);
    } else if (commandGroups().contains(name)) {
        context.out << CommandHelp::ofGroup(name);
    } else {
        return context.usageError(u"unknown command "_s + name);
    }
    return ExitCode::success;
}

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& defaultRulesPath,
           const CliServices& services)
{
    QStringList rest = arguments;
    CliContext context{out, err, defaultRulesPath, services};
    Browsers::setCatalog(services.catalog);

    // --rules comes before the command.
    while (!rest.isEmpty() && rest.front().startsWith(u"--rules"_s)) {
        const QString option = rest.takeFirst();
        if (option.startsWith(u"--rules="_s)) {
            context.rulesPath = option.mid(8);
        } else if (option == u"--rules"_s && !rest.isEmpty()) {
            context.rulesPath = rest.takeFirst();
        } else {
            return context.usageError(option == u"--rules"_s ? u"--rules needs a path"_s
                                                             : u"unknown option "_s + option);
        }
        if (context.rulesPath.isEmpty())
            return context.usageError(u"--rules needs a path"_s);
    }

    if (rest.isEmpty())
        return context.usageError(u"no command given"_s);
    if (rest.front() == u"--help"_s || rest.front() == u"-h"_s)
        rest.front() = u"help"_s;
    if (rest.front() == u"--version"_s) {
        out << "linkherd " << AppInfo::version << '\n';
        return ExitCode::success;
    }
    // `finicky --help` asks for the commands that begin with that word.
    if (rest.size() == 2 && rest[1] == u"--help"_s && !findCommand(rest[0]) && commandGroups().contains(rest[0]))
        rest = QStringList{u"help"_s, rest[0]};
    int error = ExitCode::usage;
    const Command* command = takeCommand(context, rest, error);
    if (!command)
        return error;
    return runCommand(context, *command, rest);
}
