#pragma once

#include "routing/destination.h"
#include "routing/link_rewriter.h"
#include "routing/rule.h"
#include "routing/rules_document.h"

#include <QList>
#include <QString>

// Rule lists shaped like a large hand-kept one, for the timing programs.
namespace RuleSets {

using namespace Qt::StringLiterals;

// The application that sends the timed links. Some rules are limited to it, some to another application.
inline const QString sourceDesktopID = u"org.example.Mail"_s;

// Taken only by the rule at matchingIndex().
inline const QString matchedLink = u"https://intranet.corp.example.com/wiki/Release_Planning?quarter=2026-Q4#owners"_s;
// Taken by no rule, so the fallback decides after every rule has been looked at.
inline const QString unmatchedLink = u"https://news.example.org/articles/2026/12/the-long-read?ref=homepage#comments"_s;

// The second-to-last rule: nearly the whole list is walked before the link is taken.
inline qsizetype matchingIndex(qsizetype count)
{
    return count - 2;
}

// A pattern of the given kind that neither timed link meets. The index keeps patterns distinct; rules of
// one kind come every third index, so index / 3 picks among the forms of that kind.
inline QString fillerPattern(qsizetype index, Rule::Match match)
{
    const QString number = QString::number(index);
    const qsizetype form = index / 3;
    switch (match) {
    case Rule::Match::host:
        if (form % 2 == 0)
            return u"site"_s + number + u".example.net"_s;
        return u"*.cdn"_s + number + u".example.net"_s;
    case Rule::Match::urlContains:
        if (form % 2 == 0)
            return u"/projects/board-"_s + number + u'/';
        return u"campaign=spring"_s + number;
    case Rule::Match::regex:
        // Anchored and unanchored expressions: the unanchored ones make the engine scan the whole link.
        if (form % 3 == 0)
            return u"^https://(www\\.)?shop"_s + number + u"\\.example\\.com/"_s;
        if (form % 3 == 1)
            return u"/tickets/[A-Z]+-"_s + number + u"\\b"_s;
        return u"example\\.(com|net)/team"_s + number + u"/(docs|wiki)/"_s;
    }
    return QString();
}

// Host, "URL contains" and regex rules in turn, each with its own pattern. One rule in eight is limited to
// applications that include sourceDesktopID, another one in eight to an unrelated application, and one in
// ten is switched off. Every rule except the one at matchingIndex() leaves both timed links alone.
inline QList<Rule> mixedRules(qsizetype count)
{
    static constexpr Rule::Match kinds[] = {Rule::Match::host, Rule::Match::urlContains, Rule::Match::regex};
    QList<Rule> rules;
    rules.reserve(count);
    for (qsizetype index = 0; index < count; ++index) {
        Rule rule;
        rule.match = kinds[index % 3];
        rule.pattern = fillerPattern(index, rule.match);
        rule.isEnabled = index % 10 != 9;
        if (index % 8 == 3)
            rule.sourceDesktopIDs = {u"org.example.Chat"_s, sourceDesktopID};
        else if (index % 8 == 7)
            rule.sourceDesktopIDs = {u"org.example.Notes"_s};
        if (index % 6 == 5) {
            rule.destination = Destination::ask();
        } else {
            const QString browser = u"org.example.Browser"_s + QString::number(index % 4);
            rule.destination =
                index % 5 == 0 ? Destination::browser(browser, u"Work"_s) : Destination::browser(browser);
        }
        rules.append(std::move(rule));
    }
    if (count >= 2) {
        Rule& matching = rules[matchingIndex(count)];
        matching.match = Rule::Match::host;
        matching.pattern = u"*.corp.example.com"_s;
        matching.isEnabled = true;
        matching.sourceDesktopIDs.clear();
        matching.destination = Destination::browser(u"org.example.WorkBrowser"_s, u"Intranet"_s);
    }
    return rules;
}

inline Destination fallback()
{
    return Destination::browser(u"org.example.Browser0"_s);
}

// A whole rules file's worth of settings, with link cleaning switched on so the rewriter is written too.
inline RulesDocument document(qsizetype ruleCount)
{
    LinkRewriter rewriter;
    rewriter.stripsTrackingParameters = true;
    rewriter.upgradesToHTTPS = true;
    return RulesDocument::make(mixedRules(ruleCount), fallback(), rewriter);
}

} // namespace RuleSets
