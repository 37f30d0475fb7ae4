#include "rule_evaluation.h"

#include "base/logging.h"
#include "link_parts.h"
#include "regex_cache.h"
#include "regex_literal.h"

#include <unicode/idna.h>

#include <algorithm>
#include <memory>

namespace {

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// Internationalised host names reach Linkherd in either form (bücher.example or xn--bcher-kva.example),
// and users write rules in either: both sides are compared in the ASCII form. Names that IDNA refuses are
// compared as they are.
QString comparableHost(const QString& lowerCaseHost)
{
    if (isAscii(lowerCaseHost))
        return lowerCaseHost;
    static const std::unique_ptr<icu::IDNA> idna = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::IDNA> created(icu::IDNA::createUTS46Instance(UIDNA_NONTRANSITIONAL_TO_ASCII, status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    if (!idna)
        return lowerCaseHost;
    const icu::UnicodeString name(reinterpret_cast<const char16_t*>(lowerCaseHost.utf16()),
                                  static_cast<int32_t>(lowerCaseHost.size()));
    icu::UnicodeString ascii;
    icu::IDNAInfo info;
    UErrorCode status = U_ZERO_ERROR;
    idna->nameToASCII(name, ascii, info, status);
    if (U_FAILURE(status) || info.hasErrors())
        return lowerCaseHost;
    return QString(reinterpret_cast<const QChar*>(ascii.getBuffer()), ascii.length());
}

// "*.example.com", ".example.com" and "example.com" all name example.com and its subdomains.
QString domainOfHostPattern(const QString& trimmedPattern)
{
    const QString lowered = trimmedPattern.toLower();
    QStringView domain(lowered);
    if (domain.startsWith(u"*."))
        domain = domain.sliced(2);
    if (domain.startsWith(u'.'))
        domain = domain.sliced(1);
    return domain.isEmpty() ? QString() : comparableHost(domain.toString());
}

bool hostMatches(const std::optional<QString>& host, const QString& domain)
{
    if (!host || domain.isEmpty() || !host->endsWith(domain))
        return false;
    const qsizetype before = host->size() - domain.size() - 1;
    return before < 0 || host->at(before) == u'.';
}

} // namespace

MatchSubject::MatchSubject(const QString& linkText) : link(linkText), isAscii(::isAscii(linkText))
{
    if (const std::optional<LinkParts> parts = LinkParts::split(link); parts && parts->host)
        host = comparableHost(parts->host->toString().toLower());
}

PreparedRule::PreparedRule(const Rule& rule)
    : m_isEnabled(rule.isEnabled),
      m_match(rule.match),
      m_pattern(rule.trimmedPattern()),
      m_sourceDesktopIDs(rule.sourceDesktopIDs)
{
    switch (m_match) {
    case Rule::Match::host:
        m_domain = domainOfHostPattern(m_pattern);
        break;
    case Rule::Match::urlContains:
        m_search = QStringMatcher(m_pattern, Qt::CaseInsensitive);
        break;
    case Rule::Match::regex:
        if (const QString required = requiredLiteral(m_pattern); !required.isEmpty()) {
            m_search = QStringMatcher(required, Qt::CaseInsensitive);
            m_hasRequiredText = true;
        }
        break;
    }
}

bool PreparedRule::passesSourceFilter(const QString& sourceDesktopID) const
{
    if (m_sourceDesktopIDs.isEmpty())
        return true;
    return !sourceDesktopID.isEmpty() && m_sourceDesktopIDs.contains(sourceDesktopID, Qt::CaseInsensitive);
}

ExpressionBudget::~ExpressionBudget()
{
    if (m_untried > 0)
        qCWarning(lcRules,
                  "The expressions of one decision took more than %lld ms; %lld expression rules were cut short or "
                  "not tried, and did not match",
                  qlonglong(limit.count()), qlonglong(m_untried));
}

bool ExpressionBudget::allowsAnother()
{
    if (m_isSpent)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (!m_isStarted) {
        m_isStarted = true;
        m_deadline = now + limit;
        return true;
    }
    if (now >= m_deadline)
        m_isSpent = true;
    return !m_isSpent;
}

bool PreparedRule::matches(const MatchSubject& subject, const QString& sourceDesktopID, ExpressionBudget& budget) const
{
    if (!m_isEnabled || m_pattern.isEmpty() || !passesSourceFilter(sourceDesktopID))
        return false;
    switch (m_match) {
    case Rule::Match::host:
        return hostMatches(subject.host, m_domain);
    case Rule::Match::urlContains:
        return m_search.indexIn(subject.link) >= 0;
    case Rule::Match::regex:
        // Case-insensitive matching folds some non-ASCII letters into ASCII ones (K, ſ), so the shortcut
        // holds only for ASCII links.
        if (m_hasRequiredText && subject.isAscii && m_search.indexIn(subject.link) < 0)
            return false;
        if (!budget.allowsAnother()) {
            budget.countUntried();
            return false;
        }
        switch (regexCache().search(m_pattern, subject.link, budget.deadline())) {
        case RegexCache::Search::found:
            return true;
        case RegexCache::Search::notFound:
            return false;
        case RegexCache::Search::pastDeadline:
            budget.markSpent();
            budget.countUntried();
            return false;
        }
        return false;
    }
    return false;
}

bool Rule::matches(const QString& link, const QString& sourceDesktopID) const
{
    ExpressionBudget budget;
    return PreparedRule(*this).matches(MatchSubject(link), sourceDesktopID, budget);
}

PreparedRules::PreparedRules(const QList<Rule>& rules)
{
    m_rules.reserve(rules.size());
    for (const Rule& rule : rules) {
        m_rules.append(PreparedRule(rule));
        m_looksAtSources = m_looksAtSources || m_rules.constLast().looksAtSource();
    }
}

namespace {

// The one walk through the rules: the first that takes the link wins, and all of them share one expression budget.
// ruleAt(index) gives the rule prepared, so that a one-off decision prepares only the rules it reaches.
template <typename RuleAt>
std::optional<qsizetype> firstMatchingRule(qsizetype count, RuleAt ruleAt, const QString& link,
                                           const QString& sourceDesktopID)
{
    const MatchSubject subject(link);
    ExpressionBudget budget;
    for (qsizetype index = 0; index < count; ++index) {
        if (ruleAt(index).matches(subject, sourceDesktopID, budget))
            return index;
    }
    return std::nullopt;
}

} // namespace

std::optional<qsizetype> PreparedRules::firstMatch(const QString& link, const QString& sourceDesktopID) const
{
    return firstMatchingRule(
        m_rules.size(), [this](qsizetype index) -> const PreparedRule& { return m_rules[index]; }, link,
        sourceDesktopID);
}

Decision decide(const QList<Rule>& rules, const Destination& fallback, const QString& link,
                const QString& sourceDesktopID)
{
    const std::optional<qsizetype> index = firstMatchingRule(
        rules.size(), [&rules](qsizetype at) { return PreparedRule(rules[at]); }, link, sourceDesktopID);
    if (!index)
        return {fallback, std::nullopt};
    return {rules[*index].destination, index};
}
