#pragma once

#include "routing/rule.h"

#include <QList>
#include <QStringList>

// Rules as the suites write them. Destination and match default to what the codec writes when left out.
inline Rule makeRule(Rule::Match match, const QString& pattern, Destination destination = Destination::ask(),
                     bool isEnabled = true, const QStringList& sourceDesktopIDs = {})
{
    Rule rule;
    rule.match = match;
    rule.pattern = pattern;
    rule.destination = std::move(destination);
    rule.isEnabled = isEnabled;
    rule.sourceDesktopIDs = sourceDesktopIDs;
    return rule;
}

inline Rule hostRule(const QString& pattern, Destination destination = Destination::ask())
{
    return makeRule(Rule::Match::host, pattern, std::move(destination));
}

inline QStringList patternsOf(const QList<Rule>& rules)
{
    QStringList patterns;
    for (const Rule& rule : rules)
        patterns.append(rule.pattern);
    return patterns;
}
