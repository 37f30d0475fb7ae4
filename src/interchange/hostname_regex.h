#pragma once

#include <QString>

#include <optional>

// Finicky tests a regular expression given to matchHostnames against the link's host name alone, while a
// Linkherd regex rule searches the whole link. This gives the rule pattern that finds a match in a link exactly
// when the JavaScript expression (its source and flags) matches the link's host: the expression is placed after
// the scheme and any user name, every part of it that could match a character outside the host (`.`, `\S`,
// negated sets) is narrowed to host characters so no match can run on into the port, path or query, `^` and
// `$` mean the start and end of the host, and an expression without `^` may start anywhere inside the host, as
// a JavaScript search does. Absent when the expression uses something that cannot be carried over with
// certainty (lookbehind, back references, set syntax the two engines read differently, characters that cannot
// occur in a host, upper-case letters without the `i` flag, which a host in lower case never matches); the import then
// skips it with a note rather than guess.
std::optional<QString> patternForHostnameRegex(const QString& source, const QString& flags);
