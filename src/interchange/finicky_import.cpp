#include "finicky_import.h"

#include "base/elided_text.h"
#include "browsers/browser_profiles.h"
#include "browsers/browsers.h"
#include "hostname_regex.h"
#include "regex_escape.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <cmath>

using namespace Qt::StringLiterals;

namespace FinickyConfig {

namespace {

const QString askEveryTime = u"“Ask every time”"_s;

Rule makeRule(Rule::Match match, QString pattern, const Destination& destination)
{
    Rule rule;
    rule.match = match;
    rule.pattern = std::move(pattern);
    rule.destination = destination;
    return rule;
}

// A Finicky string match is a URL pattern with `*` wildcards. A plain host, with or without its scheme, a
// leading "*." or a trailing "/*", is a host rule (which also covers subdomains); anything else is a regex
// over the whole link.
Rule globRule(const QString& glob, const Destination& destination)
{
    qsizetype start = 0;
    qsizetype end = glob.size();
    while (start < end && (glob[start] == u' ' || glob[start] == u'\t'))
        ++start;
    while (end > start && (glob[end - 1] == u' ' || glob[end - 1] == u'\t'))
        --end;
    QStringView stripped = QStringView(glob).sliced(start, end - start);
    for (const QStringView scheme : {u"https://", u"http://", u"*://"}) {
        if (stripped.startsWith(scheme)) {
            stripped = stripped.sliced(scheme.size());
            break;
        }
    }

    QStringView host = stripped;
    if (host.endsWith(u"/*"))
        host.chop(2);
    if (host.startsWith(u"*."))
        host = host.sliced(2);
    if (!host.isEmpty() && !host.contains(u'*') && !host.contains(u'/'))
        return makeRule(Rule::Match::host, host.toString(), destination);

    const QString expression = escapedRegexPattern(stripped.toString()).replace(u"\\*"_s, u".*"_s);
    return makeRule(Rule::Match::regex, u"^https?://"_s + expression + u'$', destination);
}

QString rewritesSkipped(const QString& whatWas)
{
    return whatWas + u" skipped — Linkherd routes links, "_s + u"it does not change them."_s;
}

QString duplicateKey(const Rule& rule)
{
    return matchText(rule.match) + QChar(1) + rule.pattern.trimmed().toLower() + QChar(1) +
           (rule.destination.isAsk() ? u"ask"_s : rule.destination.desktopID());
}

// Turns the shim's plain data into rules and notes, in the order of the configuration.
class Conversion final {
public:
    explicit Conversion(const QJsonObject& extras) : m_extras(extras) {}

    Result<Imported, ImportError> convert(const QJsonObject& extracted)
    {
        const QJsonValue defaultBrowser = extracted.value(u"defaultBrowser"_s);
        if (defaultBrowser.isObject() && defaultBrowser[u"name"_s].isString())
            m_imported.fallback = resolve(defaultBrowser.toObject());
        else if (m_extras.value(u"defaultBrowserIsFunction"_s).toBool())
            note(u"Finicky's default browser is chosen by a function. It was not imported; the fallback stays as "
                 u"it is."_s);

        // The length of whatever Array.isArray() accepted: a Proxy of an array may claim any number. Only a count
        // that is a whole number a double holds exactly is told; converting a larger one would be undefined.
        const double count = extracted.value(u"rewriteCount"_s).toDouble();
        if (count >= 1 && count <= 9007199254740992.0 && count == std::floor(count))
            note(rewritesSkipped(count == 1 ? u"1 URL rewrite was"_s
                                            : QString::number(qint64(count)) + u" URL rewrites were"_s));
        else if (count >= 1)
            note(rewritesSkipped(u"URL rewrites were"_s));
        if (const int handlerRewrites = m_extras.value(u"handlerRewrites"_s).toInt(); handlerRewrites > 0)
            note(rewritesSkipped(handlerRewrites == 1
                                     ? u"1 handler's URL rewrite was"_s
                                     : QString::number(handlerRewrites) + u" handlers' URL rewrites were"_s));

        const QJsonArray handlers = extracted.value(u"handlers"_s).toArray();
        for (const QJsonValue& handler : handlers) {
            if (handler.isObject())
                convertHandler(handler.toObject());
        }
        if (handlers.isEmpty() && !m_imported.fallback)
            return ImportError::notAConfig();

        QSet<QString> seen;
        m_imported.rules.removeIf([&seen](const Rule& rule) {
            const QString key = duplicateKey(rule);
            if (seen.contains(key))
                return true;
            seen.insert(key);
            return false;
        });
        return std::move(m_imported);
    }

private:
    void note(const QString& text) { m_imported.notes.append(text); }

    Destination resolve(const QJsonObject& browser)
    {
        const QString name = browser.value(u"name"_s).toString();
        const std::optional<Browsers::Browser> found = Browsers::browserNamed(name);
        if (!found) {
            const QString text = u"No browser named “"_s + elidedText(name, 120) +
                                 u"” is installed. Rules pointing at it were imported "_s + u"set to "_s +
                                 askEveryTime + u'.';
            if (!m_imported.notes.contains(text))
                note(text);
            return Destination::ask();
        }
        const QJsonValue profile = browser.value(u"profile"_s);
        if (!profile.isString())
            return Destination::browser(found->desktopID);
        // Finicky names a Chromium profile by the name the user sees; rules store its directory. A text that
        // names no listed profile (a browser without readable profiles, say) is kept as it is.
        return Destination::browser(
            found->desktopID,
            BrowserProfiles::directoryOf(profile.toString(), found->desktopID).value_or(profile.toString()));
    }

    void convertHandler(const QJsonObject& handler)
    {
        const QJsonValue browser = handler.value(u"browser"_s);
        Destination destination;
        if (browser.isObject() && browser[u"name"_s].isString()) {
            destination = resolve(browser.toObject());
        } else {
            note(u"A handler chose its browser with a function. Its rules were imported set to "_s + askEveryTime +
                 u'.');
        }

        for (const QJsonValue& entry : handler.value(u"matches"_s).toArray()) {
            const QJsonValue type = entry[u"type"_s];
            const QJsonValue value = entry[u"value"_s];
            if (!type.isString() || !value.isString())
                continue;
            const QString kind = type.toString();
            const QString text = value.toString();
            if (kind == u"host"_s) {
                m_imported.rules.append(makeRule(Rule::Match::host, text, destination));
            } else if (kind == u"regex"_s) {
                m_imported.rules.append(makeRule(Rule::Match::regex, text, destination));
            } else if (kind == u"glob"_s) {
                m_imported.rules.append(globRule(text, destination));
            } else if (kind == u"hostnameRegex"_s) {
                if (const std::optional<QString> pattern = patternForHostnameRegex(text, entry[u"flags"_s].toString()))
                    m_imported.rules.append(makeRule(Rule::Match::regex, *pattern, destination));
                else
                    skipped(entry[u"text"_s].toString());
            } else {
                skipped(text);
            }
        }
    }

    void skipped(const QString& what) { note(u"Skipped "_s + what + u" — there is no way to express it as a rule."_s); }

    QJsonObject m_extras;
    Imported m_imported;
};

} // namespace

QString ImportError::description() const
{
    switch (kind) {
    case Kind::unreadable:
        return u"That file is not valid JavaScript: "_s + message;
    case Kind::notAConfig:
        break;
    }
    return u"That file does not look like a Finicky config — no handlers were found in it."_s;
}

Result<Imported, ImportError> convert(const QJsonObject& extracted, const QJsonObject& extras)
{
    return Conversion(extras).convert(extracted);
}

} // namespace FinickyConfig
