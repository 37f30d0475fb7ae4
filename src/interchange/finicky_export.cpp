#include "browsers/browser_profiles.h"
#include "browsers/browsers.h"
#include "finicky_config.h"
#include "regex_escape.h"

using namespace Qt::StringLiterals;

namespace FinickyConfig {

namespace {

// JavaScript ends a string, a regular-expression literal and a `//` comment at any of these characters, so a
// raw one inside a pattern or a name would leave the file unloadable, or turn the rest of a commented-out line
// into code. Each is written as the escape that means the same character in a string or an expression.
std::optional<QString> lineTerminatorEscape(QChar c)
{
    switch (c.unicode()) {
    case u'\n':
        return u"\\n"_s;
    case u'\r':
        return u"\\r"_s;
    case 0x2028:
        return u"\\u2028"_s;
    case 0x2029:
        return u"\\u2029"_s;
    default:
        return std::nullopt;
    }
}

QString onOneLine(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text)
        escaped += lineTerminatorEscape(c).value_or(QString(c));
    return escaped;
}

// A double-quoted JavaScript string. Backslash and quote are what the string syntax needs; line terminators
// are escaped as well because a raw one is a syntax error that would make the whole file unloadable.
QString quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', u"\\\\"_s);
    escaped.replace(u'"', u"\\\""_s);
    return u'"' + onOneLine(escaped) + u'"';
}

// A regular-expression literal for an ICU pattern. Backslash pairs are copied as they stand, so a slash the
// pattern already escapes ("\/") stays one escaped slash instead of becoming an escaped backslash followed by
// a slash that would end the literal; only bare slashes get a backslash.
QString regexLiteral(const QString& pattern)
{
    // "//" would start a comment, not an empty expression.
    if (pattern.isEmpty())
        return u"/(?:)/"_s;
    QString body;
    body.reserve(pattern.size() + 8);
    for (qsizetype index = 0; index < pattern.size(); ++index) {
        const QChar c = pattern[index];
        if (c == u'\\') {
            // A lone backslash at the end would escape the closing slash; written doubled, it stays a backslash.
            if (index + 1 == pattern.size()) {
                body += u"\\\\"_s;
                break;
            }
            const QChar escapedChar = pattern[++index];
            body += lineTerminatorEscape(escapedChar).value_or(u'\\' + QString(escapedChar));
        } else if (c == u'/') {
            body += u"\\/"_s;
        } else {
            body += lineTerminatorEscape(c).value_or(QString(c));
        }
    }
    // "/*" would open a block comment that swallows the handlers after it. ICU refuses a leading star anyway,
    // so this only keeps a broken rule from taking the others with it.
    if (body.startsWith(u'*'))
        body.prepend(u'\\');
    return u'/' + body + u'/';
}

QString matchExpression(const Rule& rule)
{
    const QString trimmed = rule.trimmedPattern();
    switch (rule.match) {
    case Rule::Match::host:
        return u"finicky.matchHostnames(["_s + quoted(trimmed) + u"])"_s;
    case Rule::Match::urlContains:
        // Finicky has no containment test; an expression of the escaped text is one, though case-sensitive.
        return regexLiteral(escapedRegexPattern(trimmed));
    case Rule::Match::regex:
        return regexLiteral(trimmed);
    }
    return QString();
}

// Finicky has no way to say a window: a rule's window is not exported.
QString browserLiteral(const Destination& destination)
{
    if (!destination.profile())
        return quoted(destination.desktopID());
    // Finicky opens a Chromium profile by its directory, a Firefox one with -P and the profile's name.
    const QString profile = BrowserProfiles::family(destination.desktopID()) == BrowserProfiles::Family::firefox
                                ? BrowserProfiles::profileName(*destination.profile(), destination.desktopID())
                                : *destination.profile();
    return u"{ name: "_s + quoted(destination.desktopID()) + u", profile: "_s + quoted(profile) + u" }"_s;
}

QString displayNameComment(const QString& desktopID)
{
    return u"// "_s + onOneLine(Browsers::displayName(desktopID));
}

void appendRule(QStringList& lines, const Rule& rule)
{
    // Finicky always opens a browser, so a rule that asks can only be remembered.
    if (rule.destination.isAsk()) {
        lines.append(u"    // "_s + onOneLine(rule.summary()) +
                     u" — set to “Ask every time”, which Finicky cannot do."_s);
        return;
    }
    QString prefix = u"    "_s;
    if (!rule.sourceDesktopIDs.isEmpty()) {
        QStringList names;
        for (const QString& desktopID : rule.sourceDesktopIDs)
            names.append(onOneLine(Browsers::displayName(desktopID)));
        lines.append(u"    // Only for links from "_s + names.join(u", "_s) +
                     u" — Finicky cannot match on the source app."_s);
        // Without its source condition the rule would take every link it matches, so it stays a comment.
        prefix = u"    // "_s;
    }
    if (!rule.isEnabled) {
        lines.append(u"    // This rule is switched off in Linkherd."_s);
        prefix = u"    // "_s;
    }
    lines.append(prefix + u"{ match: "_s + matchExpression(rule) + u", browser: "_s + browserLiteral(rule.destination) +
                 u" }, "_s + displayNameComment(rule.destination.desktopID()));
}

} // namespace

QString exportConfig(const QList<Rule>& rules, const Destination& fallback)
{
    QStringList lines{
        u"// Generated by Linkherd."_s,
        u"// Rules are evaluated top to bottom and the first match wins, in both apps."_s,
        QString(),
        u"module.exports = {"_s,
    };
    if (fallback.isAsk()) {
        // Finicky needs a default browser; a placeholder the user is told to replace keeps the file loadable.
        lines.append(u"  // Linkherd's fallback is “Ask every time”, which Finicky has no"_s);
        lines.append(u"  // equivalent for. Name a browser here."_s);
        lines.append(u"  defaultBrowser: \"Safari\","_s);
    } else {
        lines.append(u"  defaultBrowser: "_s + browserLiteral(fallback) + u", "_s +
                     displayNameComment(fallback.desktopID()));
    }
    lines.append(u"  handlers: ["_s);
    for (const Rule& rule : rules)
        appendRule(lines, rule);
    lines.append(u"  ],"_s);
    lines.append(u"};"_s);
    return lines.join(u'\n') + u'\n';
}

} // namespace FinickyConfig
