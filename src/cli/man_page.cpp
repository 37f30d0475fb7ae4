#include "man_page.h"

#include "command.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

// Text as roff shows it: backslashes and hyphens kept, options in bold. A line never starts with a control
// character.
QString prose(const QString& text)
{
    static const QRegularExpression option(u"(?<![\\w-])--([a-z][a-z-]*)"_s);
    QString escaped = text;
    escaped.replace(u'\\', u"\\e"_s);
    escaped.replace(option, u"\\fB--\\1\\fR"_s);
    escaped.replace(u'-', u"\\-"_s);
    if (escaped.startsWith(u'.') || escaped.startsWith(u'\''))
        escaped.prepend(u"\\&"_s);
    return escaped;
}

// A synopsis: options and literal words in bold, placeholders (URL, APP_ID) in italics.
QString synopsis(const QString& text)
{
    static const QRegularExpression placeholder(u"\\b([A-Z][A-Z_]*)\\b"_s);
    QString marked = prose(text);
    marked.replace(placeholder, u"\\fI\\1\\fR"_s);
    return marked;
}

QString optionTerm(const CommandOption& option)
{
    QString term = u".TP\n\\fB"_s + prose(option.name).remove(u"\\fB"_s).remove(u"\\fR"_s) + u"\\fR"_s;
    if (option.takesValue())
        term += u' ' + synopsis(option.valueName);
    return term + u'\n';
}

QString options(const QList<CommandOption>& list)
{
    QString text;
    for (const CommandOption& option : list)
        text += optionTerm(option) + prose(option.help) + u'\n';
    return text;
}

} // namespace

QString manPage(const QString& version)
{
    QString page = u".TH LINKHERD 1 \"\" \"Linkherd %1\" \"User Commands\"\n"_s.arg(version);
    page += uR"(.SH NAME
linkherd \- read and change Linkherd's rules, and work with the installed browsers
.SH SYNOPSIS
.B linkherd
.RB [ \-\-rules
.IR PATH ]
.I COMMAND
.RI [ ARGUMENTS ]
.SH DESCRIPTION
Linkherd is a link router: the desktop's default web browser, which sends every link to the browser
the user's rules choose.
.B linkherd
reads and changes the rules file, shows where links go, and works with the installed browsers.
Every change is made to the rules file as it is at that moment, under an advisory lock, and the running
Linkherd takes it over.
.SH COMMANDS
)"_s;
    for (const Command& command : commands()) {
        page += u".TP\n\\fB"_s + command.name + u"\\fR"_s;
        if (!command.synopsis.isEmpty())
            page += u' ' + synopsis(command.synopsis);
        page += u'\n' + prose(command.summary) + u'\n';
        if (!command.help.isEmpty())
            page += u".IP\n"_s + prose(command.help) + u'\n';
        if (!command.options.isEmpty())
            page += u".RS\n"_s + options(command.options) + u".RE\n"_s;
    }
    page += u".SH OPTIONS\n"_s + options(toolOptions());
    page += uR"(.SH EXIT STATUS
0 on success, 1 when the command could not do its work (for
.BR doctor :
when links go past Linkherd anywhere), 2 for a wrong command line.
.SH FILES
.TP
.I $XDG_CONFIG_HOME/linkherd/rules.json
The rules (normally
.IR ~/.config/linkherd/rules.json ).
.SH SEE ALSO
.BR linkherd-app (1)
)"_s;
    return page;
}
