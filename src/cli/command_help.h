#pragma once

#include "command.h"

#include <QString>
#include <QStringList>

// The texts `linkherd help` shows, made from the command table.
namespace CommandHelp {

// Lines of at most `width` characters, broken at spaces. With `keepGroups`, only at spaces outside brackets
// and parentheses, so that an option stays with its value and a choice with its alternatives.
QStringList wrap(const QString& text, qsizetype width, bool keepGroups = false);

// `linkherd help`: how the tool is called, every command with its summary, the general options.
QString overview();
// `linkherd help COMMAND`: its usage, what it does, its options.
QString ofCommand(const Command& command);
// The usage of a command, wrapped as the help shows it.
QString usage(const Command& command);
// The commands that begin with `group` ("finicky"), as the overview lists them.
QString ofGroup(const QString& group);

} // namespace CommandHelp
