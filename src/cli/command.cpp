#include "command.h"

using namespace Qt::StringLiterals;

const CommandOption* Command::option(const QString& optionName) const
{
    for (const CommandOption& candidate : options) {
        if (candidate.name == optionName)
            return &candidate;
    }
    return nullptr;
}

QString Command::usage() const
{
    QString text = readsRules ? u"linkherd [--rules PATH] "_s : u"linkherd "_s;
    text += name;
    if (!synopsis.isEmpty())
        text += u' ' + synopsis;
    return text;
}

const Command* findCommand(const QString& name)
{
    for (const Command& command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

QStringList commandGroups()
{
    QStringList groups;
    for (const Command& command : commands()) {
        const qsizetype space = command.name.indexOf(u' ');
        if (space > 0 && !groups.contains(command.name.first(space)))
            groups.append(command.name.first(space));
    }
    return groups;
}
