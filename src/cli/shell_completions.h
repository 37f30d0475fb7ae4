#pragma once

#include <QString>

// Completion of `linkherd` command lines for bash, zsh and fish, made from the command table. Browser and rule
// IDs are asked of `linkherd browsers` and `linkherd rules list` as the user types.
namespace ShellCompletions {

QString bash();
QString zsh();
QString fish();

} // namespace ShellCompletions
