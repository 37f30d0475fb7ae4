#pragma once

#include <QString>
#include <QStringView>

// A piece of ASCII text that every match of an ICU regular expression contains, read off the pattern where
// that can be done with certainty; empty when it cannot (alternation at the top level, inline flags,
// quoting, nested sets) or when the piece would be shorter than three characters. Compared ignoring case
// against ASCII links only, it tells that a link cannot match without running the expression.
QString requiredLiteral(QStringView pattern);
