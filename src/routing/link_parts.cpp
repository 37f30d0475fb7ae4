#include "link_parts.h"

#include "base/ascii_chars.h"

#include <QByteArray>
#include <QString>

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isValidScheme(QStringView scheme)
{
    if (scheme.isEmpty() || !isAsciiLetter(scheme.front()))
        return false;
    for (QChar c : scheme) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

bool containsSpaceOrControl(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

// The host of an authority ("userinfo@host:port"), or nothing when the port or an IPv6 literal is malformed.
std::optional<QStringView> hostOfAuthority(QStringView authority)
{
    const qsizetype at = authority.lastIndexOf(u'@');
    QStringView hostAndPort = at >= 0 ? authority.mid(at + 1) : authority;

    QStringView host;
    QStringView rest;
    if (hostAndPort.startsWith(u'[')) {
        const qsizetype close = hostAndPort.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = hostAndPort.first(close + 1);
        rest = hostAndPort.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return std::nullopt;
    } else {
        const qsizetype colon = hostAndPort.indexOf(u':');
        host = colon >= 0 ? hostAndPort.first(colon) : hostAndPort;
        rest = colon >= 0 ? hostAndPort.mid(colon) : QStringView();
    }
    for (QChar c : rest.mid(1)) {
        if (!isAsciiDigit(c))
            return std::nullopt;
    }
    return host;
}

} // namespace

std::optional<LinkParts> LinkParts::split(QStringView link)
{
    if (containsSpaceOrControl(link))
        return std::nullopt;

    LinkParts parts;
    const qsizetype length = link.size();
    const qsizetype firstDelimiter = [&] {
        for (qsizetype i = 0; i < length; ++i) {
            const QChar c = link[i];
            if (c == u':' || c == u'/' || c == u'?' || c == u'#')
                return i;
        }
        return length;
    }();

    qsizetype position = 0;
    if (firstDelimiter < length && link[firstDelimiter] == u':') {
        parts.scheme = link.first(firstDelimiter);
        if (!isValidScheme(parts.scheme))
            return std::nullopt;
        position = firstDelimiter + 1;
    }

    if (link.mid(position).startsWith(u"//")) {
        const qsizetype authorityBegin = position + 2;
        qsizetype authorityEnd = authorityBegin;
        while (authorityEnd < length && link[authorityEnd] != u'/' && link[authorityEnd] != u'?' &&
               link[authorityEnd] != u'#')
            ++authorityEnd;
        parts.host = hostOfAuthority(link.sliced(authorityBegin, authorityEnd - authorityBegin));
        if (!parts.host)
            return std::nullopt;
        position = authorityEnd;
    }

    const qsizetype fragment = link.indexOf(u'#', position);
    const qsizetype question = link.indexOf(u'?', position);
    parts.fragmentBegin = fragment;
    const qsizetype pathEnd = fragment >= 0 ? fragment : length;
    if (question >= 0 && (fragment < 0 || question < fragment)) {
        parts.queryBegin = question;
        parts.queryEnd = pathEnd;
        parts.path = link.sliced(position, question - position);
    } else {
        parts.path = link.sliced(position, pathEnd - position);
    }
    return parts;
}

bool LinkParts::hasScheme(QStringView link)
{
    const std::optional<LinkParts> parts = split(link);
    return parts && !parts->scheme.isEmpty();
}

QString percentDecoded(QStringView text)
{
    if (!text.contains(u'%'))
        return text.toString();
    // Not QByteArray::fromPercentEncoding: it turns a "%" followed by anything into some byte.
    const QByteArray encoded = text.toUtf8();
    QByteArray decoded;
    decoded.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '%' && i + 2 < encoded.size() && isHexDigit(QChar::fromLatin1(encoded[i + 1])) &&
            isHexDigit(QChar::fromLatin1(encoded[i + 2]))) {
            decoded.append(char(hexDigitValue(QChar::fromLatin1(encoded[i + 1])) * 16 +
                                hexDigitValue(QChar::fromLatin1(encoded[i + 2]))));
            i += 2;
        } else {
            decoded.append(c);
        }
    }
    return QString::fromUtf8(decoded);
}
