// Every `linkherd` command, declared once: the dispatch, the checks of a command line, `linkherd help`, the man
// page and the shell completions are all made from this table. A new command is one more entry here and its
// handler.
#include "ask_next_command.h"
#include "browser_commands.h"
#include "cli.h"
#include "command.h"
#include "doctor_command.h"
#include "feedback_command.h"
#include "finicky_commands.h"
#include "mcp_server.h"
#include "rule_edit_commands.h"
#include "rules_commands.h"

using namespace Qt::StringLiterals;

namespace {

using Count = CommandPositional::Count;

const QStringList onOff{u"on"_s, u"off"_s};
const QStringList windows{u"usual"_s, u"new"_s, u"private"_s};

CommandOption flag(const QString& name, const QString& help)
{
    return {name, QString(), help};
}

CommandOption value(const QString& name, const QString& valueName, const QString& help,
                    ValueKind kind = ValueKind::text)
{
    return {name, valueName, help, false, kind};
}

CommandOption choice(const QString& name, const QString& valueName, const QStringList& choices, const QString& help)
{
    return {name, valueName, help, false, ValueKind::choice, choices};
}

// The pattern options of `rules add` and `rules set`.
QList<CommandOption> matchOptions()
{
    return {value(u"--host"_s, u"HOST"_s, u"Match links to HOST and its subdomains."_s),
            value(u"--contains"_s, u"TEXT"_s, u"Match links that contain TEXT."_s),
            value(u"--regex"_s, u"EXPRESSION"_s, u"Match links the regular expression EXPRESSION finds."_s)};
}

// Where a rule or the fallback sends links.
QList<CommandOption> destinationOptions()
{
    return {value(u"--in"_s, u"ID"_s, u"Open the links in the browser with this ID."_s, ValueKind::browser),
            value(u"--profile"_s, u"DIR"_s, u"In this profile of the browser (see 'linkherd profiles')."_s),
            choice(u"--window"_s, u"W"_s, windows, u"In the browser's usual window, a new one or a private one."_s),
            flag(u"--ask"_s, u"Ask every time, in the chooser."_s)};
}

CommandOption fromOption(const QString& help)
{
    CommandOption option = value(u"--from"_s, u"APP_ID"_s, help);
    option.repeatable = true;
    return option;
}

QList<Command> declareCommands()
{
    QList<Command> table;
    table.append({
        .name = u"resolve"_s,
        .synopsis = u"URL [--from APP_ID] [--explain]"_s,
        .summary = u"Print where the rules send URL as it stands: a browser's ID, or \"ask\"."_s,
        .help = u"The link is taken as it stands, without cleaning: the decision the automation interface "
                u"reports."_s,
        .options = {value(u"--from"_s, u"APP_ID"_s, u"The application the link comes from (its desktop file ID)."_s),
                    flag(u"--explain"_s, u"Add a line naming the rule that decided, or \"fallback\"."_s)},
        .positionals = {{u"URL"_s, u"one URL"_s}},
        .handler = runResolve,
        .readsRules = true,
    });
    table.append({
        .name = u"clean"_s,
        .synopsis = u"URL [--explain]"_s,
        .summary = u"Print URL as the link-cleaning settings leave it."_s,
        .help = QString(),
        .options = {flag(u"--explain"_s,
                         u"Add a line for each step that changed it, in order: \"unwrap<TAB>WRAPPER\" (a redirect "
                         u"wrapper taken off, such as Outlook Safe Links), \"https\" (upgraded from http), "
                         u"\"strip<TAB>NAME, ...\" (the tracking parameters removed)."_s)},
        .positionals = {{u"URL"_s, u"one URL"_s}},
        .handler = runClean,
        .readsRules = true,
    });
    table.append({
        .name = u"rules"_s,
        .synopsis = QString(),
        .summary = u"Print the rules file as Linkherd writes it."_s,
        .help = u"'linkherd rules list', 'rules add', 'rules set', 'rules rm' and 'rules mv' read and change the "
                u"rules one at a time, each change one edit of the file as it is at that moment, under its "
                u"lock."_s,
        .handler = runRules,
        .readsRules = true,
    });
    table.append({
        .name = u"rules list"_s,
        .synopsis = QString(),
        .summary = u"One rule a line, separated by tabs: position (from 1), ID, on or off, match (host, "
                   u"urlContains, regex), pattern, destination (ID, ID/PROFILE or \"ask\"), the source application "
                   u"IDs joined by \",\" (empty: any application)."_s,
        .handler = runRulesList,
        .readsRules = true,
    });
    table.append({
        .name = u"rules add"_s,
        .synopsis = u"(--host HOST | --contains TEXT | --regex EXPRESSION) (--in ID [--profile DIR] [--window W] | "
                    u"--ask) [--from APP_ID]... [--at N] [--off]"_s,
        .summary = u"Add a rule (at position N, counted from 1; else at the end) and print its ID."_s,
        .help = u"A browser that is not installed is taken, with a warning. A pattern that is empty or an "
                u"expression that does not compile is a wrong command line."_s,
        .options = matchOptions() + destinationOptions() +
                   QList<CommandOption>{fromOption(u"Only for links from this application; given again, from "
                                                   u"any of them."_s),
                                        value(u"--at"_s, u"N"_s, u"Add it at position N, counted from 1."_s),
                                        flag(u"--off"_s, u"Add it turned off."_s)},
        .handler = runRulesAdd,
        .readsRules = true,
    });
    table.append({
        .name = u"rules set"_s,
        .synopsis = u"ID [--host HOST | --contains TEXT | --regex EXPRESSION] [--in ID [--profile DIR] "
                    u"[--window W] | --ask] [--from APP_ID... | --any-app] [--on | --off]"_s,
        .summary = u"Change a rule; what is not given stays."_s,
        .help = u"A rule's ID may be shortened to any part of its beginning, of 4 characters or more, that no other "
                u"rule's ID begins with. A browser that is not installed is taken, with a warning."_s,
        .options =
            matchOptions() + destinationOptions() +
            QList<CommandOption>{fromOption(u"Only for links from these applications."_s),
                                 flag(u"--any-app"_s, u"For links from any application."_s),
                                 flag(u"--on"_s, u"Turn the rule on."_s), flag(u"--off"_s, u"Turn the rule off."_s)},
        .positionals = {{u"ID"_s, u"one rule ID"_s, ValueKind::rule}},
        .handler = runRulesSet,
        .readsRules = true,
    });
    table.append({
        .name = u"rules rm"_s,
        .synopsis = u"ID..."_s,
        .summary = u"Delete rules."_s,
        .help = u"A rule's ID may be shortened as for 'rules set'."_s,
        .positionals = {{u"ID"_s, u"rule IDs"_s, ValueKind::rule, Count::oneOrMore}},
        .handler = runRulesRemove,
        .readsRules = true,
    });
    table.append({
        .name = u"rules mv"_s,
        .synopsis = u"ID N"_s,
        .summary = u"Move a rule to position N, counted from 1."_s,
        .help = u"A rule's ID may be shortened as for 'rules set'."_s,
        .positionals = {{u"ID"_s, u"a rule ID"_s, ValueKind::rule}, {u"N"_s, u"a position"_s}},
        .handler = runRulesMove,
        .readsRules = true,
    });
    table.append({
        .name = u"fallback"_s,
        .synopsis = u"[--in ID [--profile DIR] [--window W] | --ask]"_s,
        .summary = u"Set where links no rule takes go; without options, print it."_s,
        .help = u"A browser that is not installed is taken, with a warning."_s,
        .options = destinationOptions(),
        .handler = runFallback,
        .readsRules = true,
    });
    table.append({
        .name = u"cleaning"_s,
        .synopsis = u"[--strip on|off] [--https on|off] [--unwrap on|off] [--parameters A,B,... | "
                    u"--default-parameters]"_s,
        .summary = u"Set link cleaning; without options, print the settings, one a line: strip, https, parameters, "
                   u"unwrap."_s,
        .help = QString(),
        .options = {choice(u"--strip"_s, u"on|off"_s, onOff, u"Remove tracking parameters."_s),
                    choice(u"--https"_s, u"on|off"_s, onOff, u"Upgrade links to https."_s),
                    choice(u"--unwrap"_s, u"on|off"_s, onOff,
                           u"Take the real link out of redirect wrappers (mail and chat link protection, social "
                           u"link shims)."_s),
                    value(u"--parameters"_s, u"A,B,..."_s,
                          u"The parameters removed; a name ending in \"*\" is a prefix."_s),
                    flag(u"--default-parameters"_s, u"Remove the parameters Linkherd removes at first."_s)},
        .handler = runCleaning,
        .readsRules = true,
    });
    table.append({
        .name = u"browsers"_s,
        .synopsis = u"[--default]"_s,
        .summary = u"List the installed browsers, one per line: ID, name and desktop file, separated by tabs."_s,
        .options = {flag(u"--default"_s, u"Only the system's default browser other than Linkherd."_s)},
        .handler = runBrowsers,
        .needs = DesktopNeed::all,
    });
    table.append({
        .name = u"profiles"_s,
        .synopsis = u"ID"_s,
        .summary = u"List the profiles of a Chromium- or Firefox-family browser: directory (for Firefox, the "
                   u"profile's path as profiles.ini gives it) and name."_s,
        .positionals = {{u"ID"_s, u"one browser ID"_s, ValueKind::browser}},
        .handler = runProfiles,
        .needs = DesktopNeed::all,
    });
    table.append({
        .name = u"open"_s,
        .synopsis = u"URL --in ID [--profile PROFILE] [--window new|private]"_s,
        .summary = u"Open URL in that browser."_s,
        .help = u"A profile or window the browser cannot open the link in is refused: nothing is opened."_s,
        .options = {value(u"--in"_s, u"ID"_s, u"The browser's ID."_s, ValueKind::browser),
                    value(u"--profile"_s, u"PROFILE"_s,
                          u"In one of its profiles, given by its name as the browser shows it or by its "
                          u"directory."_s),
                    choice(u"--window"_s, u"W"_s, windows, u"In a new or a private window."_s)},
        .positionals = {{u"URL"_s, u"one URL"_s}},
        .handler = runOpen,
        .needs = DesktopNeed::all,
    });
    table.append({
        .name = u"default"_s,
        .synopsis = u"[--set | --hand-back ID]"_s,
        .summary = u"Say whether Linkherd is the default browser (\"yes\" or \"no\")."_s,
        .help = u"With --set it exits 1 when Linkherd did not become the default."_s,
        .options = {flag(u"--set"_s, u"Make Linkherd the default browser."_s),
                    value(u"--hand-back"_s, u"ID"_s, u"Make that browser the default again."_s, ValueKind::browser)},
        .handler = runDefault,
        .needs = DesktopNeed::all,
    });
    table.append({
        .name = u"doctor"_s,
        .synopsis = u"[--fix]"_s,
        .summary = u"Check every place that decides which program opens a web link."_s,
        .help = u"The places are $BROWSER, xdg-settings, GIO, each mimeapps.list in the order they are read and "
                u"KDE's BrowserApplication; then whether Linkherd runs, and its desktop entry and D-Bus service. "
                u"Each line ends with \"ok\" or the problem and how to fix it. Exits 1 when links go past Linkherd "
                u"anywhere."_s,
        .options = {flag(u"--fix"_s, u"First claim every place Linkherd may change (all but $BROWSER)."_s)},
        .handler = runDoctor,
        .needs = DesktopNeed::all,
    });
    table.append({
        .name = u"finicky locate"_s,
        .synopsis = QString(),
        .summary = u"Print where the existing Finicky configuration is: the first of ~/.finicky.js, "
                   u"~/.config/finicky/finicky.js and ~/.config/finicky/finicky.ts that is a file."_s,
        .handler = runFinickyLocate,
    });
    table.append({
        .name = u"finicky import"_s,
        .synopsis = u"FILE [--add | --replace]"_s,
        .summary = u"Turn a Finicky configuration into rules."_s,
        .help = u"Without an option, print what it gives as JSON: \"fallback\" (a destination, or null), \"notes\" "
                u"(what could not be imported) and \"rules\", in the rules file's form. --add and --replace print a "
                u"summary line, and the notes on the error stream, each starting with \"note: \". A file that does "
                u"not import changes nothing."_s,
        .options = {flag(u"--add"_s, u"Append the rules to the rules file."_s),
                    flag(u"--replace"_s, u"Make them the only rules and, when the configuration names a default "
                                         u"browser, make that the fallback."_s)},
        .positionals = {{u"FILE"_s, u"one file"_s, ValueKind::file}},
        .handler = runFinickyImport,
        .readsRules = true,
        .needs = DesktopNeed::catalog,
    });
    table.append({
        .name = u"finicky export"_s,
        .synopsis = u"[--output FILE]"_s,
        .summary = u"Print the rules and fallback as a Finicky configuration."_s,
        .options = {value(u"--output"_s, u"FILE"_s,
                          u"Write it to FILE instead, replacing the file in one step and printing nothing."_s,
                          ValueKind::file)},
        .handler = runFinickyExport,
        .readsRules = true,
    });
    table.append({
        .name = u"ask-next"_s,
        .synopsis = QString(),
        .summary = u"Have the running Linkherd send the next link that arrives within two minutes to the chooser, "
                   u"whatever the rules."_s,
        .help = u"The links after it are routed as before. The session bus starts Linkherd when it is not "
                u"running."_s,
        .handler = runAskNext,
    });
    table.append({
        .name = u"feedback send"_s,
        .synopsis = QString(),
        .summary = u"Send the feedback on standard input to Linkherd's maker and print the outcome as JSON."_s,
        .help = u"Standard input holds one JSON object: {\"category\": \"feedback\", \"bug\" or \"feature\", "
                u"\"message\": TEXT, \"email\": TEXT}. The outcome is one JSON object: {\"sent\": true}, or "
                u"{\"error\": {\"kind\": \"server\", \"network\", \"notConfigured\" or \"failed\", \"status\": N, "
                u"\"message\": TEXT, \"host\": NAME}}. Exits 1 when it was not sent. The \"Send Feedback\" window "
                u"runs it."_s,
        .handler = runFeedbackSend,
    });
    table.append({
        .name = u"mcp"_s,
        .synopsis = QString(),
        .summary = u"Serve the rule commands to an AI assistant: a Model Context Protocol server on standard input "
                   u"and output, until its input ends."_s,
        .handler = runMcp,
        .readsRules = true,
    });
    table.append({
        .name = u"help"_s,
        .synopsis = u"[COMMAND]"_s,
        .summary = u"Show the commands, or what one of them does and takes."_s,
        .help = u"'linkherd COMMAND --help' shows the same."_s,
        .positionals = {{u"COMMAND"_s, u"a command"_s, ValueKind::text, Count::any}},
        .handler = runHelp,
    });
    return table;
}

} // namespace

QList<CommandOption> toolOptions()
{
    return {value(u"--rules"_s, u"PATH"_s,
                  u"Use the rules file at PATH instead of ~/.config/linkherd/rules.json "
                  u"($XDG_CONFIG_HOME/linkherd/rules.json)."_s,
                  ValueKind::file),
            flag(u"--help"_s, u"Show this help."_s), flag(u"--version"_s, u"Show the version."_s)};
}

const QList<Command>& commands()
{
    static const QList<Command> table = declareCommands();
    return table;
}
