// Any text as a link, cleaned with every step switched on (unwrapping, the https upgrade, stripping the built-in
// tracking parameters). What holds:
// - A link no step changed comes back as the very same text.
// - Without unwrapping, only the scheme (http to https, by the upgrade step) and the query (by the strip step)
//   change: the user, host, port, path and fragment come back as they were, character for character.
// - Unwrapping goes at most LinkRewriter::maximumUnwrapDepth wrappers deep and gives a whole link.
// - Cleaning the result again changes nothing, unless the depth limit stopped the unwrapping: a wrapper deeper
//   than that is left for the next cleaning by design.
#include "fuzz_support.h"
#include "routing/link_parts.h"
#include "routing/link_rewriter.h"

#include <algorithm>

namespace {

using Step = LinkRewriter::Step;

qsizetype countOf(const QList<Step>& steps, Step::Kind kind)
{
    return std::count_if(steps.cbegin(), steps.cend(), [kind](const Step& step) { return step.kind == kind; });
}

// The text after the scheme up to the end of the path: user, host, port and path.
QStringView authorityAndPath(QStringView link, const LinkParts& parts)
{
    const qsizetype pathEnd = parts.path.data() - link.data() + parts.path.size();
    return link.sliced(parts.scheme.size(), pathEnd - parts.scheme.size());
}

QStringView query(QStringView link, const LinkParts& parts)
{
    return parts.hasQuery() ? link.sliced(parts.queryBegin, parts.queryEnd - parts.queryBegin) : QStringView();
}

QStringView fragment(QStringView link, const LinkParts& parts)
{
    return parts.fragmentBegin >= 0 ? link.sliced(parts.fragmentBegin) : QStringView();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LinkRewriter rewriter;
    rewriter.stripsTrackingParameters = true;
    rewriter.upgradesToHTTPS = true;
    rewriter.unwrapsRedirects = true;

    const QString link = Fuzz::text(data, size);
    QList<Step> steps;
    const QString cleaned = rewriter.apply(link, &steps);
    Fuzz::check(rewriter.apply(link) == cleaned, "cleaning tells its steps without changing its result");
    if (steps.isEmpty()) {
        Fuzz::check(cleaned == link, "a link no step changed comes back as it was");
        return 0;
    }

    const qsizetype unwraps = countOf(steps, Step::Kind::unwrap);
    Fuzz::check(unwraps <= LinkRewriter::maximumUnwrapDepth, "unwrapping stops at the depth limit");
    Fuzz::check(countOf(steps, Step::Kind::https) <= 1 && countOf(steps, Step::Kind::strip) <= 1,
                "the upgrade and the stripping are one step each");
    const std::optional<LinkParts> after = LinkParts::split(cleaned);
    Fuzz::check(after.has_value(), "a cleaned link is a link");

    if (unwraps == 0) {
        const std::optional<LinkParts> before = LinkParts::split(link);
        Fuzz::check(before.has_value(), "only a link is cleaned");
        Fuzz::check(authorityAndPath(link, *before) == authorityAndPath(cleaned, *after),
                    "cleaning keeps the user, host, port and path");
        Fuzz::check(fragment(link, *before) == fragment(cleaned, *after), "cleaning keeps the fragment");
        if (countOf(steps, Step::Kind::https) == 1)
            Fuzz::check(before->scheme.compare(u"http", Qt::CaseInsensitive) == 0 && after->scheme == u"https",
                        "the upgrade turns http into https");
        else
            Fuzz::check(before->scheme == after->scheme, "without the upgrade the scheme stays");
        if (countOf(steps, Step::Kind::strip) == 0)
            Fuzz::check(query(link, *before) == query(cleaned, *after), "without stripping the query stays");
    }

    QList<Step> againSteps;
    const QString again = rewriter.apply(cleaned, &againSteps);
    if (unwraps < LinkRewriter::maximumUnwrapDepth) {
        Fuzz::check(again == cleaned, "cleaning a cleaned link changes nothing");
        Fuzz::check(againSteps.isEmpty(), "cleaning a cleaned link takes no step");
    }
    return 0;
}
