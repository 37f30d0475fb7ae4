#pragma once

#include "cli_context.h"
#include "command_arguments.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a value on the command line names, so that the shells can complete it.
enum class ValueKind {
    text,    // anything: nothing to offer
    file,    // a path
    browser, // an installed browser's ID (`linkherd browsers`)
    rule,    // a rule's ID (`linkherd rules list`)
    choice,  // one of the option's choices
};

struct CommandOption final {
    QString name{};      // "--in"
    QString valueName{}; // "ID"; empty for a flag
    QString help{};      // one sentence, for `help COMMAND`, the man page and the completions
    bool repeatable = false;
    ValueKind kind = ValueKind::text;
    QStringList choices{}; // for ValueKind::choice

    bool takesValue() const { return !valueName.isEmpty(); }
};

struct CommandPositional final {
    enum class Count { one, optional, oneOrMore, any };

    QString name{}; // "URL"
    QString noun{}; // "one URL", as the error for a wrong count says what the command takes
    ValueKind kind = ValueKind::text;
    Count count = Count::one;
};

// What a command needs of the desktop before it can run.
enum class DesktopNeed {
    none,
    catalog, // the installed applications
    all,     // the applications, launching, the default handlers and autostart
};

using CommandHandler = int (*)(const CliContext& context, const CommandArguments& arguments);

// One `linkherd` command: everything the tool, its help, the man page and the shell completions know of it.
struct Command final {
    QString name{};     // "rules add": a command's words
    QString synopsis{}; // how the options combine, after the name: "URL [--from APP_ID] [--explain]"
    QString summary{};  // one line for the list of commands
    QString help{};     // what `help COMMAND` adds: paragraphs separated by blank lines
    QList<CommandOption> options{};
    QList<CommandPositional> positionals{};
    CommandHandler handler = nullptr;
    bool readsRules = false; // takes --rules PATH before its name
    DesktopNeed needs = DesktopNeed::none;

    const CommandOption* option(const QString& name) const;
    // "linkherd [--rules PATH] rules add …"
    QString usage() const;
};

// The options that come before the command: --rules PATH, --help, --version.
QList<CommandOption> toolOptions();
// Every command, in the order the help lists them.
const QList<Command>& commands();
const Command* findCommand(const QString& name);
// The words that open more than one command ("rules", "finicky"), in order.
QStringList commandGroups();
