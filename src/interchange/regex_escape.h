#pragma once

#include <QString>

// The text as an ICU regular expression that matches exactly that text: every character with a meaning of its
// own in a pattern gets a backslash. The import builds rules from Finicky globs with it and the export turns
// patterns back into globs by the same table, so the two agree on what an escaped character looks like.
QString escapedRegexPattern(const QString& text);
