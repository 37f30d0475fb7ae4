// Any text split into a link's parts: the parts are views into the text, in their order and without overlap,
// each delimited as RFC 3986 says; percent-decoding never lengthens text.
#include "fuzz_support.h"
#include "routing/link_parts.h"

namespace {

bool isInside(QStringView part, QStringView text)
{
    return part.data() >= text.data() && part.data() + part.size() <= text.data() + text.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString link = Fuzz::text(data, size);
    const QStringView text(link);
    const QString decoded = percentDecoded(text);
    Fuzz::check(decoded.toUtf8().size() <= link.toUtf8().size(), "percent-decoding never lengthens the text");
    if (!link.contains(u'%'))
        Fuzz::check(decoded == link, "text without escapes decodes to itself");

    const std::optional<LinkParts> parts = LinkParts::split(text);
    if (LinkParts::hasScheme(text))
        Fuzz::check(parts && !parts->scheme.isEmpty(), "a link with a scheme splits, scheme and all");
    if (!parts)
        return 0;

    Fuzz::check(parts->scheme.isEmpty() || parts->scheme.data() == text.data(), "the scheme begins the link");
    if (!parts->scheme.isEmpty())
        Fuzz::check(text.size() > parts->scheme.size() && text[parts->scheme.size()] == u':',
                    "a colon follows the scheme");
    Fuzz::check(isInside(parts->path, text), "the path is part of the link");
    const qsizetype pathEnd = parts->path.data() - text.data() + parts->path.size();
    if (parts->host) {
        Fuzz::check(isInside(*parts->host, text), "the host is part of the link");
        Fuzz::check(parts->host->data() + parts->host->size() <= parts->path.data(), "the host comes before the path");
        Fuzz::check(!parts->host->contains(u'/') && !parts->host->contains(u'?') && !parts->host->contains(u'#'),
                    "the host holds no delimiter");
    }
    Fuzz::check(!parts->path.contains(u'?') && !parts->path.contains(u'#'), "the path ends at the query or fragment");

    const qsizetype queryOrFragment = parts->hasQuery() ? parts->queryBegin : parts->fragmentBegin;
    Fuzz::check(pathEnd == (queryOrFragment >= 0 ? queryOrFragment : text.size()),
                "the path runs up to the query, the fragment or the end");
    if (parts->hasQuery()) {
        Fuzz::check(text[parts->queryBegin] == u'?', "the query begins with ?");
        Fuzz::check(parts->queryBegin < parts->queryEnd && parts->queryEnd <= text.size(), "the query is in bounds");
        Fuzz::check(parts->queryEnd == (parts->fragmentBegin >= 0 ? parts->fragmentBegin : text.size()),
                    "the query runs up to the fragment or the end");
        Fuzz::check(!text.sliced(parts->queryBegin, parts->queryEnd - parts->queryBegin).contains(u'#'),
                    "the query holds no #");
    } else {
        Fuzz::check(parts->queryEnd == -1, "no query, no query end");
    }
    if (parts->fragmentBegin >= 0) {
        Fuzz::check(parts->fragmentBegin < text.size() && text[parts->fragmentBegin] == u'#',
                    "the fragment begins with #");
        Fuzz::check(text.first(parts->fragmentBegin).indexOf(u'#') < 0, "the fragment begins at the first #");
    }
    return 0;
}
