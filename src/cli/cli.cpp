#include "cli.h"

#include "app_info.h"
#include "cli_context.h"
#include "rules_commands.h"

using namespace Qt::StringLiterals;

QString cliHelpText()
{
    return uR"(Usage: linkherd [--rules PATH] COMMAND [ARGUMENTS]

Reads Linkherd's rules and shows where links go.

Commands:
  resolve URL [--from APP_ID] [--explain]
                  Print where the rules send URL as it stands: a browser's ID, or "ask".
                  --from APP_ID   the application the link comes from (its desktop file ID)
                  --explain       add a line naming the rule that decided, or "fallback"
  clean URL       Print URL as the link-cleaning settings leave it.
  rules           Print the rules file as Linkherd writes it.
  help            Show this help.

Options:
  --rules PATH    Use the rules file at PATH instead of ~/.config/linkherd/rules.json
                  ($XDG_CONFIG_HOME/linkherd/rules.json).
  --help          Show this help.
  --version       Show the version.

Exit status: 0 on success, 1 when the command could not do its work, 2 for a wrong command line.
)"_s;
}

int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& defaultRulesPath)
{
    QStringList rest = arguments;
    CliContext context{out, err, defaultRulesPath};

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
    const QString command = rest.takeFirst();
    if (command == u"help"_s || command == u"--help"_s || command == u"-h"_s) {
        out << cliHelpText();
        return ExitCode::success;
    }
    if (command == u"--version"_s) {
        out << "linkherd " << AppInfo::version << '\n';
        return ExitCode::success;
    }
    if (command == u"resolve"_s)
        return runResolve(context, rest);
    if (command == u"clean"_s)
        return runClean(context, rest);
    if (command == u"rules"_s)
        return runRules(context, rest);
    return context.usageError(u"unknown command "_s + command);
}
