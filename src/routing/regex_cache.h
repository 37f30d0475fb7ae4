#pragma once

#include <QHashFunctions>
#include <QString>

#include <chrono>
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
    // Why the pattern does not compile ("a parenthesis is not closed at character 4"); empty when it does.
    QString compileError(const QString& pattern);

    enum class Search { found, notFound, pastDeadline };
    // Whether the expression finds a match anywhere in the text. Not found when the pattern does not compile,
    // and when the search runs out of its own time or stack: a pathological expression must not hold up a
    // link. Such a give-up is logged once per pattern. A search still going at the deadline stops there.
    Search search(const QString& pattern, const QString& text,
                  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());

    qsizetype size() const { return static_cast<qsizetype>(m_entries.size()); }
    qsizetype compilationCount() const { return m_compilations; }

private:
    struct Entry;
    Entry& entry(const QString& pattern);

    std::unordered_map<QString, std::unique_ptr<Entry>> m_entries;
    qsizetype m_compilations = 0;
    std::chrono::steady_clock::time_point m_deadline; // of the search going on
};

// The process-wide cache.
RegexCache& regexCache();
