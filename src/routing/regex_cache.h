#pragma once

#include <QHashFunctions>
#include <QString>

#include <memory>
#include <unordered_map>

// Compiled rule expressions (case-insensitive ICU regular expressions) by trimmed pattern text, shared by
// rule validation and rule evaluation. Each distinct pattern is compiled once per process; a pattern that
// does not compile is remembered as such. Used on the main thread only.
class RegexCache final {
public:
    RegexCache();
    ~RegexCache();
    RegexCache(const RegexCache&) = delete;
    RegexCache& operator=(const RegexCache&) = delete;

    bool compiles(const QString& pattern);

    // Whether the expression finds a match anywhere in the text. False when the pattern does not compile,
    // and when the search runs out of time or stack: a pathological expression must not hold up a link.
    // Such a give-up is logged once per pattern.
    bool findsMatch(const QString& pattern, const QString& text);

    qsizetype size() const { return static_cast<qsizetype>(m_entries.size()); }
    qsizetype compilationCount() const { return m_compilations; }

private:
    struct Entry;
    Entry& entry(const QString& pattern);

    std::unordered_map<QString, std::unique_ptr<Entry>> m_entries;
    qsizetype m_compilations = 0;
};

// The process-wide cache.
RegexCache& regexCache();
