#include "redirect_wrappers.h"

#include "base/logging.h"
#include "link_parts.h"
#include "redirect_wrappers_table.h" // generated from redirect_wrappers.txt

#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

bool isWebScheme(QStringView scheme)
{
    return (scheme.size() == 5 && scheme.compare(u"https", Qt::CaseInsensitive) == 0) ||
           (scheme.size() == 4 && scheme.compare(u"http", Qt::CaseInsensitive) == 0);
}

bool hasAsciiUpperCase(QStringView text)
{
    for (QChar c : text) {
        if (c >= u'A' && c <= u'Z')
            return true;
    }
    return false;
}

// The last two labels of a host, or all of it when it has fewer.
QStringView domainOf(QStringView host)
{
    // By hand: QStringView::lastIndexOf costs more than the rest of a look-up.
    int dots = 0;
    for (qsizetype i = host.size() - 1; i >= 0; --i) {
        if (host[i] == u'.' && ++dots == 2)
            return host.sliced(i + 1);
    }
    return host;
}

bool servesHost(const RedirectWrappers::Wrapper& wrapper, QStringView host)
{
    if (!wrapper.anySubdomain)
        return host == wrapper.host;
    return host.size() > wrapper.host.size() && host.endsWith(wrapper.host) &&
           host[host.size() - wrapper.host.size() - 1] == u'.';
}

// The decoded value of the first query item called name; nothing when there is none, or when its escapes do not
// spell UTF-8 (a mangled wrapper). A "+" stays a "+": a valid target has no spaces for a form encoder to have
// written as "+", so a "+" in the wrapper was a "+" in the target.
std::optional<QString> queryValue(QStringView query, const QString& name)
{
    for (QStringView item : query.tokenize(u'&')) {
        const qsizetype equals = item.indexOf(u'=');
        if (percentDecoded(equals >= 0 ? item.first(equals) : item) != name)
            continue;
        if (equals < 0)
            return QString();
        const QStringView raw = item.sliced(equals + 1);
        QString value = percentDecoded(raw);
        if (value.contains(QChar::ReplacementCharacter) && !raw.contains(QChar::ReplacementCharacter))
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

std::optional<RedirectWrappers::Unwrapped> unwrapWith(const RedirectWrappers::Wrapper& wrapper, QStringView link,
                                                      const LinkParts& parts)
{
    const QStringView path = parts.path.isEmpty() ? QStringView(u"/") : parts.path;
    if (wrapper.pathIsPrefix ? !path.startsWith(wrapper.path) : path != wrapper.path)
        return std::nullopt;
    if (!parts.hasQuery())
        return std::nullopt;
    const QStringView query = link.sliced(parts.queryBegin + 1, parts.queryEnd - parts.queryBegin - 1);

    std::optional<QString> target;
    if (wrapper.parameters.isEmpty()) {
        if (RedirectWrappers::isWebLink(query))
            target = query.toString();
    }
    for (const QString& name : wrapper.parameters) {
        std::optional<QString> value = queryValue(query, name);
        if (value && RedirectWrappers::isWebLink(*value)) {
            target = std::move(value);
            break;
        }
    }
    if (!target)
        return std::nullopt;
    if (parts.fragmentBegin >= 0 && !target->contains(u'#')) {
        *target += link.sliced(parts.fragmentBegin);
        if (!RedirectWrappers::isWebLink(*target))
            return std::nullopt;
    }
    return RedirectWrappers::Unwrapped{std::move(*target), &wrapper};
}

} // namespace

RedirectWrappers RedirectWrappers::parse(QStringView table, QStringList* problems)
{
    RedirectWrappers result;
    qsizetype lineNumber = 0;
    for (QStringView line : table.tokenize(u'\n')) {
        ++lineNumber;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const auto refuse = [&](const QString& why) {
            if (problems)
                problems->append(u"line %1: %2"_s.arg(lineNumber).arg(why));
        };

        QList<QStringView> fields;
        QStringView rest = line;
        while (fields.size() < 3) {
            const qsizetype space = rest.indexOf(u' ');
            if (space < 0)
                break;
            fields.append(rest.first(space));
            rest = rest.sliced(space + 1).trimmed();
        }
        if (fields.size() < 3 || rest.isEmpty()) {
            refuse(u"expected a host, a path, the parameters and a name"_s);
            continue;
        }

        Wrapper wrapper;
        QStringView host = fields[0];
        wrapper.anySubdomain = host.startsWith(u"*.");
        if (wrapper.anySubdomain)
            host = host.sliced(2);
        wrapper.host = host.toString();
        if (host.isEmpty() || wrapper.host != wrapper.host.toLower() ||
            !LinkParts::split(QString(u"https://"_s + host))) {
            refuse(u"the host is not a host name in lower case"_s);
            continue;
        }
        QStringView path = fields[1];
        wrapper.pathIsPrefix = path.endsWith(u'*');
        if (wrapper.pathIsPrefix)
            path.chop(1);
        if (!path.startsWith(u'/')) {
            refuse(u"the path does not begin with \"/\""_s);
            continue;
        }
        wrapper.path = path.toString();
        if (fields[2] != u"?") {
            for (QStringView name : fields[2].tokenize(u',', Qt::SkipEmptyParts))
                wrapper.parameters.append(name.toString());
            if (wrapper.parameters.isEmpty()) {
                refuse(u"no parameter is named"_s);
                continue;
            }
        }
        wrapper.name = rest.toString();

        result.m_byDomain[domainOf(wrapper.host).toString()].append(result.m_wrappers.size());
        result.m_wrappers.append(std::move(wrapper));
    }
    return result;
}

const RedirectWrappers& RedirectWrappers::builtIn()
{
    static const RedirectWrappers table = [] {
        QStringList problems;
        RedirectWrappers parsed = parse(QStringView(redirectWrappersTable), &problems);
        for (const QString& problem : problems)
            qCWarning(lcRouter) << "Skipping a redirect wrapper that does not read:" << problem;
        return parsed;
    }();
    return table;
}

std::optional<RedirectWrappers::Unwrapped> RedirectWrappers::unwrap(QStringView link, const LinkParts& parts) const
{
    if (!parts.host || parts.host->isEmpty() || !isWebScheme(parts.scheme))
        return std::nullopt;
    // Links nearly always spell their host in lower case; those are looked up without a copy.
    const QString lowered = hasAsciiUpperCase(*parts.host) ? parts.host->toString().toLower() : QString();
    const QStringView host = lowered.isNull() ? *parts.host : QStringView(lowered);
    const QStringView domain = domainOf(host);
    const auto found = m_byDomain.constFind(QString::fromRawData(domain.data(), domain.size()));
    if (found == m_byDomain.constEnd())
        return std::nullopt;
    for (qsizetype i : *found) {
        if (!servesHost(m_wrappers[i], host))
            continue;
        if (std::optional<Unwrapped> unwrapped = unwrapWith(m_wrappers[i], link, parts))
            return unwrapped;
    }
    return std::nullopt;
}

bool RedirectWrappers::isWebLink(QStringView link)
{
    const std::optional<LinkParts> parts = LinkParts::split(link);
    if (!parts || !isWebScheme(parts->scheme) || !parts->host || parts->host->isEmpty())
        return false;
    // Strictly by the standard, unlike what Linkherd accepts from callers: a "%" that starts no escape or a host
    // with escapes in it is what is left of a target decoded once too often, or of a mangled wrapper.
    return QUrl(link.toString(), QUrl::StrictMode).isValid();
}
