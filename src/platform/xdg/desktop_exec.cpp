#include "desktop_exec.h"

#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// One piece of an argument: text, or the field code it holds in place of text.
struct Piece {
    QString text;
    QChar code; // null for text
};
using Argument = QList<Piece>;

void appendText(Argument& argument, QChar c)
{
    if (argument.isEmpty() || !argument.back().code.isNull())
        argument.append(Piece{});
    argument.back().text.append(c);
}

Result<QList<Argument>> tokenize(const QString& line)
{
    QList<Argument> arguments;
    std::optional<Argument> current;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (current)
                arguments.append(std::move(*std::exchange(current, std::nullopt)));
            continue;
        }
        if (!current)
            current.emplace();
        if (c == u'"') {
            for (++i;; ++i) {
                if (i >= line.size())
                    return Failure{u"The command line of the application has an unterminated quote."_s};
                if (line[i] == u'"')
                    break;
                if (line[i] == u'\\' && i + 1 < line.size() && u"\"`$\\"_s.contains(line[i + 1]))
                    ++i;
                appendText(*current, line[i]);
            }
        } else if (c == u'\'') {
            const qsizetype end = line.indexOf(u'\'', i + 1);
            if (end < 0)
                return Failure{u"The command line of the application has an unterminated quote."_s};
            for (++i; i < end; ++i)
                appendText(*current, line[i]);
        } else if (c == u'\\' && i + 1 < line.size()) {
            appendText(*current, line[++i]);
        } else if (c == u'%' && i + 1 < line.size()) {
            const QChar code = line[++i];
            if (code == u'%')
                appendText(*current, code);
            else
                current->append({{}, code});
        } else {
            appendText(*current, c);
        }
    }
    if (current)
        arguments.append(std::move(*current));
    return arguments;
}

bool takesAll(QChar code)
{
    return code == u'U' || code == u'F';
}

bool takesOne(QChar code)
{
    return code == u'u' || code == u'f';
}

QString asGiven(QChar code, const QString& link)
{
    if (code.toLower() == u'f') {
        const QUrl url(link);
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return link;
}

// The argument vector of one start, given the links it takes.
QStringList expand(const QList<Argument>& arguments, const DesktopExec& entry, const QStringList& links)
{
    QStringList argv;
    for (const Argument& argument : arguments) {
        if (argument.size() == 1 && !argument[0].code.isNull()) {
            // A field code on its own: it may stand for several arguments or none.
            const QChar code = argument[0].code;
            if (takesAll(code) || takesOne(code)) {
                for (const QString& link : links)
                    argv.append(asGiven(code, link));
            } else if (code == u'i') {
                if (!entry.icon.isEmpty())
                    argv << u"--icon"_s << entry.icon;
            } else if (code == u'c') {
                argv.append(entry.name);
            } else if (code == u'k') {
                argv.append(entry.location);
            }
            continue;
        }
        QString text;
        for (const Piece& piece : argument) {
            if (piece.code.isNull())
                text += piece.text;
            else if ((takesAll(piece.code) || takesOne(piece.code)) && !links.isEmpty())
                text += asGiven(piece.code, links.front());
            else if (piece.code == u'i')
                text += entry.icon;
            else if (piece.code == u'c')
                text += entry.name;
            else if (piece.code == u'k')
                text += entry.location;
        }
        argv.append(text);
    }
    return argv;
}

} // namespace

Result<QList<QStringList>> expandExec(const DesktopExec& entry, const QStringList& links)
{
    Result<QList<Argument>> parsed = tokenize(entry.commandLine);
    if (!parsed)
        return Failure{parsed.error()};
    QList<Argument> arguments = std::move(parsed).value();
    if (arguments.isEmpty())
        return Failure{u"The application has no command line."_s};
    if (std::any_of(arguments.front().cbegin(), arguments.front().cend(),
                    [](const Piece& piece) { return !piece.code.isNull(); }))
        return Failure{u"The command line of the application does not start with a program."_s};
    bool all = false;
    bool one = false;
    for (const Argument& argument : std::as_const(arguments)) {
        for (const Piece& piece : argument) {
            // Several links go into one start only through a field code that is an argument of its own.
            all = all || (takesAll(piece.code) && argument.size() == 1);
            one = one || takesOne(piece.code) || (takesAll(piece.code) && argument.size() > 1);
        }
    }
    if (!all && !one)
        arguments.append(Argument{{{}, u'f'}});
    QList<QStringList> starts;
    if (all || links.isEmpty()) {
        starts.append(expand(arguments, entry, links));
    } else {
        for (const QString& link : links)
            starts.append(expand(arguments, entry, {link}));
    }
    return starts;
}
