#include "cli.h"

#include "app_info.h"
#include "ask_next_command.h"
#include "browser_commands.h"
#include "browsers/browsers.h"
#include "cli_context.h"
#include "doctor_command.h"
#include "feedback_command.h"
#include "finicky_commands.h"
#include "mcp_server.h"
#include "rule_edit_commands.h"
#include "rules_commands.h"

using namespace Qt::StringLiterals;

QString cliHelpText()
{
    return uR"(Usage: linkherd [--rules PATH] COMMAND [ARGUMENTS]

Reads Linkherd's rules, shows where links go, and works with the installed browsers.

Commands:
  resolve URL [--from APP_ID] [--explain]
                  Print where the rules send URL as it stands: a browser's ID, or "ask".
                  --from APP_ID   the application the link comes from (its desktop file ID)
                  --explain       add a line naming the rule that decided, or "fallback"
  clean URL [--explain]
                  Print URL as the link-cleaning settings leave it.
                  --explain       add a line for each step that changed it, in order:
                                  "unwrap<TAB>WRAPPER" (a redirect wrapper taken off, such as
                                  Outlook Safe Links), "https" (upgraded from http),
                                  "strip<TAB>NAME, ..." (the tracking parameters removed)
  rules           Print the rules file as Linkherd writes it.
  rules list      One rule a line, separated by tabs: position (from 1), ID, on or off, match (host,
                  urlContains, regex), pattern, destination (ID, ID/PROFILE or "ask"), the source
                  application IDs joined by "," (empty: any application).
  rules add (--host HOST | --contains TEXT | --regex EXPRESSION) (--in ID [--profile DIR] [--window W] | --ask)
            [--from APP_ID]... [--at N] [--off]
                  Add a rule (at position N, counted from 1; else at the end) and print its ID.
                  --window usual|new|private: the window the browser opens the link in.
  rules set ID [--host HOST | --contains TEXT | --regex EXPRESSION] [--in ID [--profile DIR] [--window W] | --ask]
               [--from APP_ID... | --any-app] [--on | --off]
                  Change a rule; what is not given stays.
  rules rm ID...  Delete rules.
  rules mv ID N   Move a rule to position N, counted from 1.
                  A rule's ID may be shortened to any part of its beginning, of 4 characters or more,
                  that no other rule's ID begins with. A browser that is not installed is taken, with a
                  warning.
  fallback [--in ID [--profile DIR] [--window W] | --ask]
                  Set where links no rule takes go; without options, print it.
  cleaning [--strip on|off] [--https on|off] [--unwrap on|off]
           [--parameters A,B,... | --default-parameters]
                  Set link cleaning: removing tracking parameters, upgrading to https, taking the real
                  link out of redirect wrappers (mail and chat link protection, social link shims), the
                  parameters removed (a name ending in "*" is a prefix); without options, print the
                  settings, one a line: strip, https, parameters, unwrap.
  browsers [--default]
                  List the installed browsers, one per line: ID, name and desktop file, separated by
                  tabs. --default: only the system's default browser other than Linkherd.
  profiles ID     List the profiles of a Chromium- or Firefox-family browser: directory (for Firefox,
                  the profile's path as profiles.ini gives it) and name.
  open URL --in ID [--profile PROFILE] [--window new|private]
                  Open URL in that browser; --profile: in one of its profiles, given by its name as
                  the browser shows it or by its directory; --window: in a new or a private window.
  default [--set | --hand-back ID]
                  Say whether Linkherd is the default browser ("yes" or "no"); --set makes it the
                  default; --hand-back makes that browser the default again.
  doctor [--fix]  Check every place that decides which program opens a web link ($BROWSER,
                  xdg-settings, GIO, each mimeapps.list in the order they are read, KDE's
                  BrowserApplication), whether Linkherd runs, and its desktop entry and D-Bus service.
                  Each line ends with "ok" or the problem and how to fix it. Exits 1 when links go
                  past Linkherd anywhere. --fix first claims every place Linkherd may change (all but
                  $BROWSER).
  finicky locate  Print where the existing Finicky configuration is: the first of ~/.finicky.js,
                  ~/.config/finicky/finicky.js and ~/.config/finicky/finicky.ts that is a file.
  finicky import FILE [--add | --replace]
                  Turn a Finicky configuration into rules. Without an option, print what it gives as
                  JSON: "fallback" (a destination, or null), "notes" (what could not be imported) and
                  "rules", in the rules file's form. --add appends the rules to the rules file;
                  --replace makes them the only rules and, when the configuration names a default
                  browser, makes that the fallback. Both print a summary line, and the notes on the
                  error stream, each starting with "note: ". A file that does not import changes
                  nothing.
  finicky export [--output FILE]
                  Print the rules and fallback as a Finicky configuration. --output FILE writes it
                  to FILE instead, replacing the file in one step and printing nothing.
  ask-next        Have the running Linkherd send the next link that arrives within two minutes to the
                  chooser, whatever the rules; the links after it are routed as before. Starts
                  Linkherd when the session bus can.
  feedback send   Send the feedback on standard input, one JSON object ({"category": "feedback",
                  "bug" or "feature", "message": TEXT, "email": TEXT}), to Linkherd's maker, and print the
                  outcome as one JSON object: {"sent": true}, or {"error": {"kind": "server", "network",
                  "notConfigured" or "failed", "status": N, "message": TEXT, "host": NAME}}. Exits 1 when
                  it was not sent. The "Send Feedback" window runs it.
  mcp             Serve the rule commands to an AI assistant: a Model Context Protocol server on standard
                  input and output, until its input ends.
  help            Show this help.

Options:
  --rules PATH    Use the rules file at PATH instead of ~/.config/linkherd/rules.json
                  ($XDG_CONFIG_HOME/linkherd/rules.json).
  --help          Show this help.
  --version       Show the version.

Exit status: 0 on success, 1 when the command could not do its work, 2 for a wrong command line.
)"_s;
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
    if (command == u"finicky"_s)
        return runFinicky(context, rest);
    if (command == u"fallback"_s)
        return runFallback(context, rest);
    if (command == u"cleaning"_s)
        return runCleaning(context, rest);
    if (command == u"mcp"_s)
        return runMcp(context, rest);
    if (command == u"ask-next"_s)
        return runAskNext(context, rest);
    if (command == u"feedback"_s)
        return runFeedback(context, rest);
    const bool needsDesktop = command == u"browsers"_s || command == u"profiles"_s || command == u"open"_s ||
                              command == u"default"_s || command == u"doctor"_s;
    if (needsDesktop && !(services.catalog && services.launcher && services.defaultHandlers && services.autostart))
        return context.failure(u"%1 needs a desktop to work with"_s.arg(command));
    if (command == u"browsers"_s)
        return runBrowsers(context, rest);
    if (command == u"profiles"_s)
        return runProfiles(context, rest);
    if (command == u"open"_s)
        return runOpen(context, rest);
    if (command == u"default"_s)
        return runDefault(context, rest);
    if (command == u"doctor"_s)
        return runDoctor(context, rest);
    return context.usageError(u"unknown command "_s + command);
}
