#include "command_arguments.h"

using namespace Qt::StringLiterals;

Result<CommandArguments> CommandArguments::parse(const QStringList& arguments, const QStringList& flagNames,
                                                 const QStringList& valueNames, const QStringList& listNames)
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
        } else if (valueNames.contains(name) || listNames.contains(name)) {
            QString value;
            if (equals >= 0)
                value = argument.mid(equals + 1);
            else if (index + 1 < arguments.size())
                value = arguments[++index];
            else
                return Failure{name + u" needs a value"_s};
            if (listNames.contains(name))
                parsed.lists[name].append(value);
            else
                parsed.values.insert(name, value);
        } else {
            return Failure{u"unknown option "_s + name};
        }
    }
    return parsed;
}
