#include "rule_evaluation.h"

#include "link_parts.h"
#include "regex_cache.h"

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
QString comparableHost(QStringView lowerCaseHost)
{
    if (isAscii(lowerCaseHost))
        return lowerCaseHost.toString();
    static const std::unique_ptr<icu::IDNA> idna = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::IDNA> created(icu::IDNA::createUTS46Instance(UIDNA_NONTRANSITIONAL_TO_ASCII, status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    if (!idna)
        return lowerCaseHost.toString();
    const icu::UnicodeString name(reinterpret_cast<const char16_t*>(lowerCaseHost.utf16()),
                                  static_cast<int32_t>(lowerCaseHost.size()));
    icu::UnicodeString ascii;
    icu::IDNAInfo info;
    UErrorCode status = U_ZERO_ERROR;
    idna->nameToASCII(name, ascii, info, status);
    if (U_FAILURE(status) || info.hasErrors())
        return lowerCaseHost.toString();
    return QString(reinterpret_cast<const QChar*>(ascii.getBuffer()), ascii.length());
}

bool passesSourceFilter(const Rule& rule, const QString& sourceBundleID)
{
    if (rule.sourceBundleIDs.isEmpty())
        return true;
    if (sourceBundleID.isEmpty())
        return false;
    return rule.sourceBundleIDs.contains(sourceBundleID, Qt::CaseInsensitive);
}

bool hostMatches(const std::optional<QString>& host, const QString& trimmedPattern)
{
    if (!host)
        return false;
    const QString lowered = trimmedPattern.toLower();
    QStringView domain(lowered);
    if (domain.startsWith(u"*."))
        domain = domain.sliced(2);
    if (domain.startsWith(u'.'))
        domain = domain.sliced(1);
    if (domain.isEmpty())
        return false;
    const QString comparable = comparableHost(domain);
    domain = comparable;
    if (!host->endsWith(domain))
        return false;
    const qsizetype before = host->size() - domain.size() - 1;
    return before < 0 || host->at(before) == u'.';
}

} // namespace

MatchSubject::MatchSubject(const QString& linkText) : link(linkText)
{
    if (const std::optional<LinkParts> parts = LinkParts::split(link); parts && parts->host)
        lowerCaseHost = comparableHost(parts->host->toString().toLower());
}

bool ruleMatches(const Rule& rule, const MatchSubject& subject, const QString& sourceBundleID)
{
    if (!rule.isEnabled)
        return false;
    const QString pattern = rule.trimmedPattern();
    if (pattern.isEmpty() || !passesSourceFilter(rule, sourceBundleID))
        return false;
    switch (rule.match) {
    case Rule::Match::host:
        return hostMatches(subject.lowerCaseHost, pattern);
    case Rule::Match::urlContains:
        return subject.link.contains(pattern, Qt::CaseInsensitive);
    case Rule::Match::regex:
        return regexCache().findsMatch(pattern, subject.link);
    }
    return false;
}

bool Rule::matches(const QString& link, const QString& sourceBundleID) const
{
    return ruleMatches(*this, MatchSubject(link), sourceBundleID);
}

Decision decide(const QList<Rule>& rules, const Destination& fallback, const QString& link,
                const QString& sourceBundleID)
{
    const MatchSubject subject(link);
    for (qsizetype index = 0; index < rules.size(); ++index) {
        if (ruleMatches(rules[index], subject, sourceBundleID))
            return {rules[index].destination, index};
    }
    return {fallback, std::nullopt};
}
