#pragma once

#include "base/result.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// The options and positional arguments of one command. "--name VALUE" and "--name=VALUE" are both taken.
struct CommandArguments final {
    QStringList positional;
    QSet<QString> flags;
    QHash<QString, QString> values;
    QHash<QString, QStringList> lists; // options that may be given more than once, in the order given

    static Result<CommandArguments> parse(const QStringList& arguments, const QStringList& flagNames,
                                          const QStringList& valueNames, const QStringList& listNames = {});
};
