#pragma once

#include "destination.h"
#include "rule.h"

#include <QList>
#include <QString>
#include <QStringMatcher>

#include <optional>

// A link as the rules look at it, prepared once for a whole walk through the rules.
struct MatchSubject final {
    explicit MatchSubject(const QString& link);

    const QString& link;
    bool isAscii = true;
    std::optional<QString> host; // lower case, IDNA ASCII form; absent without a host or for text that is not a link
};

// One rule made ready to be matched against many links: its pattern trimmed and folded once, its search
// prepared. It decides exactly as the rule itself.
class PreparedRule final {
public:
    explicit PreparedRule(const Rule& rule);

    bool matches(const MatchSubject& subject, const QString& sourceBundleID) const;

private:
    bool passesSourceFilter(const QString& sourceBundleID) const;

    bool m_isEnabled = true;
    Rule::Match m_match = Rule::Match::host;
    QString m_pattern; // trimmed
    QStringList m_sourceBundleIDs;
    QString m_domain;        // host rules: what the host must be or end in after a dot; empty: never matches
    QStringMatcher m_search; // urlContains: the pattern; regex: a text every match contains, if one is known
    bool m_hasRequiredText = false;
};

// The store's rules, prepared again whenever they change.
class PreparedRules final {
public:
    PreparedRules() = default;
    explicit PreparedRules(const QList<Rule>& rules);

    // The position of the first rule that takes the link, if any.
    std::optional<qsizetype> firstMatch(const QString& link, const QString& sourceBundleID) const;

private:
    QList<PreparedRule> m_rules;
};

// What the rules decide for a link: the first matching rule's destination, or the fallback.
struct Decision final {
    Destination destination;
    std::optional<qsizetype> ruleIndex; // absent when the fallback decided
};

Decision decide(const QList<Rule>& rules, const Destination& fallback, const QString& link,
                const QString& sourceBundleID);
