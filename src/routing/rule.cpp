#include "rule.h"

#include "regex_cache.h"

using namespace Qt::StringLiterals;

QString matchText(Rule::Match match)
{
    switch (match) {
    case Rule::Match::host:
        return u"host"_s;
    case Rule::Match::urlContains:
        return u"urlContains"_s;
    case Rule::Match::regex:
        return u"regex"_s;
    }
    return QString();
}

QString matchWording(Rule::Match match)
{
    switch (match) {
    case Rule::Match::host:
        return u"Host is"_s;
    case Rule::Match::urlContains:
        return u"URL contains"_s;
    case Rule::Match::regex:
        return u"URL matches"_s;
    }
    return QString();
}

std::optional<Rule::Match> matchFromText(QStringView text)
{
    for (Rule::Match match : {Rule::Match::host, Rule::Match::urlContains, Rule::Match::regex}) {
        if (text == matchText(match))
            return match;
    }
    return std::nullopt;
}

QString Rule::validityError() const
{
    const QString trimmed = trimmedPattern();
    if (trimmed.isEmpty())
        return u"The pattern is empty."_s;
    if (match == Match::regex && !regexCache().compiles(trimmed))
        return u"Not a valid regular expression: "_s + regexCache().compileError(trimmed) + u'.';
    return QString();
}

bool Rule::isValid() const
{
    const QString trimmed = trimmedPattern();
    if (trimmed.isEmpty())
        return false;
    return match != Match::regex || regexCache().compiles(trimmed);
}

QString Rule::summary() const
{
    const QString trimmed = trimmedPattern();
    return matchWording(match) + u' ' + (trimmed.isEmpty() ? u"…"_s : trimmed);
}
