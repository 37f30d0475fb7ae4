#include "regex_cache.h"

#include "base/logging.h"

#include <unicode/regex.h>

using namespace Qt::StringLiterals;

namespace {

// ICU counts a match's time in steps of 10,000 engine operations. 150 steps (1.5 million operations, some
// 40 ms here) let an honest expression search even a very long link, yet a runaway one holds up a link
// only briefly.
constexpr int32_t matchTimeLimitSteps = 150;

icu::UnicodeString aliasOf(const QString& text)
{
    // A read-only alias: QString already holds UTF-16, so nothing is copied.
    return icu::UnicodeString(false, reinterpret_cast<const char16_t*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

// What is wrong with an expression, as ICU finds it, in words for the person who wrote it.
QString describeError(UErrorCode status, const UParseError& where)
{
    QString what;
    switch (status) {
    case U_REGEX_MISMATCHED_PAREN:
        what = u"parentheses do not pair up"_s;
        break;
    case U_REGEX_MISSING_CLOSE_BRACKET:
        what = u"a bracket is not closed"_s;
        break;
    case U_REGEX_BAD_ESCAPE_SEQUENCE:
        what = u"unknown escape sequence"_s;
        break;
    case U_REGEX_RULE_SYNTAX:
        what = u"syntax error"_s;
        break;
    case U_REGEX_BAD_INTERVAL:
    case U_REGEX_MAX_LT_MIN:
        what = u"bad repetition count"_s;
        break;
    case U_REGEX_INVALID_RANGE:
        what = u"bad character range"_s;
        break;
    default:
        what = QString::fromLatin1(u_errorName(status));
        break;
    }
    if (where.offset >= 0)
        what += u" at character "_s + QString::number(where.offset + 1);
    return what;
}

} // namespace

struct RegexCache::Entry {
    std::unique_ptr<icu::RegexMatcher> matcher; // null when the pattern does not compile
    QString error;                              // why it does not
    bool gaveUpLogged = false;
};

RegexCache::RegexCache() = default;
RegexCache::~RegexCache() = default;

RegexCache::Entry& RegexCache::entry(const QString& pattern)
{
    auto found = m_entries.find(pattern);
    if (found != m_entries.end())
        return *found->second;

    auto created = std::make_unique<Entry>();
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString expression(reinterpret_cast<const char16_t*>(pattern.utf16()),
                                        static_cast<int32_t>(pattern.size()));
    auto matcher = std::make_unique<icu::RegexMatcher>(expression, UREGEX_CASE_INSENSITIVE, status);
    if (U_FAILURE(status)) {
        // Compiled once more for where the fault is, which only the pattern's compiler reports.
        UParseError where{};
        where.offset = -1;
        UErrorCode again = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexPattern>(
            icu::RegexPattern::compile(expression, UREGEX_CASE_INSENSITIVE, where, again));
        created->error = describeError(status, where);
    }
    if (U_SUCCESS(status))
        matcher->setTimeLimit(matchTimeLimitSteps, status);
    // ICU calls back after every step of 10,000 operations, a fraction of a millisecond: the search ends soon
    // after the deadline of the decision it serves.
    URegexMatchCallback* const beforeDeadline = [](const void* cache, int32_t) -> UBool {
        return std::chrono::steady_clock::now() < static_cast<const RegexCache*>(cache)->m_deadline;
    };
    if (U_SUCCESS(status))
        matcher->setMatchCallback(beforeDeadline, this, status);
    if (U_SUCCESS(status))
        created->matcher = std::move(matcher);
    ++m_compilations;
    return *m_entries.emplace(pattern, std::move(created)).first->second;
}

bool RegexCache::compiles(const QString& pattern)
{
    return entry(pattern).matcher != nullptr;
}

QString RegexCache::compileError(const QString& pattern)
{
    return entry(pattern).error;
}

RegexCache::Search RegexCache::search(const QString& pattern, const QString& text,
                                      std::chrono::steady_clock::time_point deadline)
{
    Entry& compiled = entry(pattern);
    if (!compiled.matcher)
        return Search::notFound;

    static const icu::UnicodeString nothing;
    const icu::UnicodeString input = aliasOf(text);
    compiled.matcher->reset(input);
    UErrorCode status = U_ZERO_ERROR;
    m_deadline = deadline;
    const bool found = compiled.matcher->find(status);
    compiled.matcher->reset(nothing); // the matcher must not keep pointing at text that is about to go
    if (U_SUCCESS(status))
        return found ? Search::found : Search::notFound;
    if (status == U_REGEX_STOPPED_BY_CALLER)
        return Search::pastDeadline;

    if (!compiled.gaveUpLogged) {
        compiled.gaveUpLogged = true;
        qCWarning(lcRules, "Gave up matching the expression %s (%s); the rule does not match", qUtf8Printable(pattern),
                  u_errorName(status));
    }
    return Search::notFound;
}

RegexCache& regexCache()
{
    static RegexCache cache;
    return cache;
}
