#pragma once

#include "destination.h"
#include "rule.h"

#include <QList>
#include <QString>
#include <QStringMatcher>

#include <chrono>
#include <optional>

// A link as the rules look at it, prepared once for a whole walk through the rules.
struct MatchSubject final {
    explicit MatchSubject(const QString& link);

    const QString& link;
    bool isAscii = true;
    std::optional<QString> host; // lower case, IDNA ASCII form; absent without a host or for text that is not a link
};

// The time the expressions of one decision may take together, counted from the first expression tried. A list
// of pathological expressions must not hold up a link: once the time is spent, the decision's remaining
// expression rules do not match (rules of the other kinds still do).
class ExpressionBudget final {
public:
    static constexpr std::chrono::milliseconds limit{100};

    ExpressionBudget() = default;
    ExpressionBudget(const ExpressionBudget&) = delete;
    ExpressionBudget& operator=(const ExpressionBudget&) = delete;
    // Logs once when expressions were left untried.
    ~ExpressionBudget();

    // Whether an expression may still be tried; starts the clock at the first one.
    bool allowsAnother();
    std::chrono::steady_clock::time_point deadline() const { return m_deadline; }
    // An expression was stopped at the deadline, or was not tried.
    void markSpent() { m_isSpent = true; }
    void countUntried() { ++m_untried; }

private:
    std::chrono::steady_clock::time_point m_deadline;
    bool m_isStarted = false;
    bool m_isSpent = false;
    qsizetype m_untried = 0;
};

// One rule made ready to be matched against many links: its pattern trimmed and folded once, its search
// prepared. It decides exactly as the rule itself.
class PreparedRule final {
public:
    explicit PreparedRule(const Rule& rule);

    bool matches(const MatchSubject& subject, const QString& sourceDesktopID, ExpressionBudget& budget) const;
    // Whether the application a link comes from can change what this rule decides.
    bool looksAtSource() const { return m_isEnabled && !m_pattern.isEmpty() && !m_sourceDesktopIDs.isEmpty(); }

private:
    bool passesSourceFilter(const QString& sourceDesktopID) const;

    bool m_isEnabled = true;
    Rule::Match m_match = Rule::Match::host;
    QString m_pattern; // trimmed
    QStringList m_sourceDesktopIDs;
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
    std::optional<qsizetype> firstMatch(const QString& link, const QString& sourceDesktopID) const;
    // Whether any rule looks at the application a link comes from; without one, it need not be worked out.
    bool looksAtSources() const { return m_looksAtSources; }

private:
    QList<PreparedRule> m_rules;
    bool m_looksAtSources = false;
};

// What the rules decide for a link: the first matching rule's destination, or the fallback.
struct Decision final {
    Destination destination;
    std::optional<qsizetype> ruleIndex; // absent when the fallback decided
};

Decision decide(const QList<Rule>& rules, const Destination& fallback, const QString& link,
                const QString& sourceDesktopID);
