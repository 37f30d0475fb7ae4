#include "command_help.h"

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype lineWidth = 100;
// Where a command's summary starts in the list, and an option's description in a command's help.
constexpr qsizetype summaryColumn = 18;

// `lines` after `firstPrefix`, the lines after the first indented by `indent` spaces.
QString indented(const QStringList& lines, const QString& firstPrefix, qsizetype indent)
{
    QString text;
    for (qsizetype index = 0; index < lines.size(); ++index)
        text += (index == 0 ? firstPrefix : QString(indent, u' ')) + lines[index] + u'\n';
    return text;
}

// A term ("  rules list", "  --in ID") and its description in a column of its own; a term too wide for the
// column has the description on the lines below it.
QString termAndDescription(const QString& term, const QString& description, qsizetype column)
{
    const QStringList lines = CommandHelp::wrap(description, lineWidth - column);
    if (term.size() + 2 <= column)
        return indented(lines, term + QString(column - term.size(), u' '), column);
    return term + u'\n' + indented(lines, QString(column, u' '), column);
}

QString optionTerm(const CommandOption& option)
{
    return u"  "_s + option.name + (option.takesValue() ? u' ' + option.valueName : QString());
}

QString commandEntry(const Command& command)
{
    const QString head = command.synopsis.isEmpty() ? command.name : command.name + u' ' + command.synopsis;
    const qsizetype indent = 2 + command.name.size() + 1;
    const QString term = indented(CommandHelp::wrap(head, lineWidth - indent, true), u"  "_s, indent).chopped(1);
    if (!term.contains(u'\n'))
        return termAndDescription(term, command.summary, summaryColumn);
    return term + u'\n' +
           indented(CommandHelp::wrap(command.summary, lineWidth - summaryColumn), QString(summaryColumn, u' '),
                    summaryColumn);
}

} // namespace

namespace CommandHelp {

QStringList wrap(const QString& text, qsizetype width, bool keepGroups)
{
    // The places a line may break, then as many words on each line as fit.
    QStringList words;
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype index = 0; index <= text.size(); ++index) {
        const QChar character = index < text.size() ? text[index] : u' ';
        if (character == u'(' || character == u'[')
            ++depth;
        else if (character == u')' || character == u']')
            --depth;
        else if (character == u' ' && (depth <= 0 || !keepGroups)) {
            if (index > start)
                words.append(text.sliced(start, index - start));
            start = index + 1;
        }
    }
    QStringList lines;
    for (const QString& word : words) {
        if (!lines.isEmpty() && lines.back().size() + 1 + word.size() <= width)
            lines.back() += u' ' + word;
        else
            lines.append(word);
    }
    return lines;
}

QString usage(const Command& command)
{
    const QString prefix = u"Usage: "_s;
    const QString head = command.usage();
    // The continuation lines start under the command's first argument.
    const qsizetype nameEnd = head.indexOf(command.name) + command.name.size() + 1;
    const qsizetype indent = qMin(prefix.size() + nameEnd, lineWidth / 2);
    QStringList lines = wrap(head.sliced(qMin(nameEnd, head.size())), lineWidth - indent, true);
    if (lines.isEmpty())
        return prefix + head + u'\n';
    lines.front().prepend(head.first(nameEnd));
    return indented(lines, prefix, indent);
}

QString overview()
{
    QString text = u"Usage: linkherd [--rules PATH] COMMAND [ARGUMENTS]\n\n"
                   u"Reads Linkherd's rules, shows where links go, and works with the installed browsers.\n\n"
                   u"Commands:\n"_s;
    for (const Command& command : commands())
        text += commandEntry(command);
    text += u"\nOptions:\n"_s;
    for (const CommandOption& option : toolOptions())
        text += termAndDescription(optionTerm(option), option.help, summaryColumn);
    text += u"\n'linkherd help COMMAND' or 'linkherd COMMAND --help' tells what a command does and takes.\n\n"
            u"Exit status: 0 on success, 1 when the command could not do its work, 2 for a wrong command line.\n"_s;
    return text;
}

QString ofCommand(const Command& command)
{
    QString text = usage(command) + u'\n';
    for (const QString& paragraph : {command.summary, command.help}) {
        if (!paragraph.isEmpty())
            text += wrap(paragraph, lineWidth).join(u'\n') + u"\n\n"_s;
    }
    if (command.options.isEmpty())
        return text.chopped(1);
    qsizetype column = 0;
    for (const CommandOption& option : command.options)
        column = qMax(column, 2 + option.name.size() + 1 + option.valueName.size() + 2);
    column = qMin(column, summaryColumn + 8);
    text += u"Options:\n"_s;
    for (const CommandOption& option : command.options) {
        text += termAndDescription(optionTerm(option), option.help, column);
    }
    return text;
}

QString ofGroup(const QString& group)
{
    QString text;
    for (const Command& command : commands()) {
        if (command.name.startsWith(group + u' '))
            text += commandEntry(command);
    }
    return text;
}

} // namespace CommandHelp
