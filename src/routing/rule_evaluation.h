#pragma once

#include "destination.h"
#include "rule.h"

#include <QList>
#include <QString>

#include <optional>

// A link as the rules look at it, prepared once for a whole walk through the rules.
struct MatchSubject final {
    explicit MatchSubject(const QString& link);

    const QString& link;
    std::optional<QString> lowerCaseHost; // absent for links without a host, and for text that is not a link
};

bool ruleMatches(const Rule& rule, const MatchSubject& subject, const QString& sourceBundleID);

// What the rules decide for a link: the first matching rule's destination, or the fallback.
struct Decision final {
    Destination destination;
    std::optional<qsizetype> ruleIndex; // absent when the fallback decided
};

Decision decide(const QList<Rule>& rules, const Destination& fallback, const QString& link,
                const QString& sourceBundleID);
