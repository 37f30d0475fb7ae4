#include "link_rewriter.h"

#include "link_parts.h"
#include "redirect_wrappers.h"

#include <QList>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

bool isRemovedBy(const QString& decodedName, const QString& entry)
{
    if (entry.endsWith(u'*')) {
        const QStringView prefix = QStringView(entry).chopped(1);
        if (prefix.isEmpty())
            return false;
        return decodedName.toLower().startsWith(prefix.toString().toLower());
    }
    return decodedName.compare(entry, Qt::CaseInsensitive) == 0;
}

bool isTrackingParameter(QStringView rawItem, const QStringList& parameters)
{
    const qsizetype equals = rawItem.indexOf(u'=');
    const QString name = percentDecoded(equals >= 0 ? rawItem.first(equals) : rawItem);
    for (const QString& entry : parameters) {
        if (isRemovedBy(name, entry))
            return true;
    }
    return false;
}

// The query without its tracking parameters, or nothing when no parameter was removed. Kept parameters
// stay exactly as they were encoded, in their order. The removed parameters' names go to removed, when given.
std::optional<QString> strippedQuery(QStringView query, const QStringList& parameters, QStringList* removed)
{
    if (query.isEmpty())
        return std::nullopt;
    QList<QStringView> kept;
    bool removedAny = false;
    for (QStringView item : query.tokenize(u'&')) {
        if (isTrackingParameter(item, parameters)) {
            removedAny = true;
            if (removed)
                removed->append(item.first(item.contains(u'=') ? item.indexOf(u'=') : item.size()).toString());
        } else {
            kept.append(item);
        }
    }
    if (!removedAny)
        return std::nullopt;
    QString joined;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (i > 0)
            joined += u'&';
        joined += kept[i];
    }
    return joined;
}

// The upgrade and the stripping, on a link already split (parts are link's own).
QString upgradedAndStripped(const LinkRewriter& settings, const QString& link, const LinkParts& parts,
                            QList<LinkRewriter::Step>* steps)
{
    const bool upgrade = settings.upgradesToHTTPS && parts.scheme.compare(u"http", Qt::CaseInsensitive) == 0 &&
                         parts.host && LinkRewriter::isUpgradable(*parts.host);

    std::optional<QString> query;
    QStringList removed;
    if (settings.stripsTrackingParameters && parts.hasQuery()) {
        const QStringView encodedQuery =
            QStringView(link).sliced(parts.queryBegin + 1, parts.queryEnd - parts.queryBegin - 1);
        query = strippedQuery(encodedQuery, settings.parameters, steps ? &removed : nullptr);
    }

    if (!upgrade && !query)
        return link;
    if (steps && upgrade)
        steps->append({LinkRewriter::Step::Kind::https, QString()});
    if (steps && query)
        steps->append({LinkRewriter::Step::Kind::strip, removed.join(u", ")});

    const QStringView text(link);
    const qsizetype afterScheme = upgrade ? parts.scheme.size() : 0;
    QString rebuilt;
    rebuilt.reserve(link.size() + 1);
    if (upgrade)
        rebuilt += u"https";
    if (query) {
        rebuilt += text.sliced(afterScheme, parts.queryBegin - afterScheme);
        if (!query->isEmpty()) {
            rebuilt += u'?';
            rebuilt += *query;
        }
        rebuilt += text.sliced(parts.queryEnd);
    } else {
        rebuilt += text.sliced(afterScheme);
    }
    return rebuilt;
}

} // namespace

const QStringList& LinkRewriter::defaultParameters()
{
    static const QStringList parameters = {
        u"utm_*"_s,       u"fbclid"_s,  u"igshid"_s,  u"igsh"_s,          u"gclid"_s,   u"dclid"_s,     u"gbraid"_s,
        u"wbraid"_s,      u"gclsrc"_s,  u"msclkid"_s, u"twclid"_s,        u"ttclid"_s,  u"yclid"_s,     u"mc_cid"_s,
        u"mc_eid"_s,      u"_hsenc"_s,  u"_hsmi"_s,   u"hsCtaTracking"_s, u"vero_id"_s, u"vero_conv"_s, u"oly_enc_id"_s,
        u"oly_anon_id"_s, u"mkt_tok"_s, u"s_cid"_s,   u"spm"_s,
    };
    return parameters;
}

QString LinkRewriter::apply(const QString& link, QList<Step>* steps) const
{
    if (!stripsTrackingParameters && !upgradesToHTTPS && !unwrapsRedirects)
        return link;
    std::optional<LinkParts> parts = LinkParts::split(link);
    if (!parts)
        return link;
    if (!unwrapsRedirects)
        return upgradedAndStripped(*this, link, *parts, steps);

    const RedirectWrappers& wrappers = RedirectWrappers::builtIn();
    std::optional<RedirectWrappers::Unwrapped> unwrapped = wrappers.unwrap(link, *parts);
    if (!unwrapped)
        return upgradedAndStripped(*this, link, *parts, steps);
    QString target;
    for (int depth = 1; unwrapped; ++depth) {
        if (steps)
            steps->append({Step::Kind::unwrap, unwrapped->wrapper->name});
        target = std::move(unwrapped->target);
        parts = LinkParts::split(target); // a target is a whole link: it splits
        if (!parts)
            return link;
        unwrapped = depth < maximumUnwrapDepth ? wrappers.unwrap(target, *parts) : std::nullopt;
    }
    return upgradedAndStripped(*this, target, *parts, steps);
}

bool LinkRewriter::isUpgradable(QStringView host)
{
    if (host.isEmpty())
        return false;
    const QString lowered = host.toString().toLower();
    if (lowered == u"localhost")
        return false;
    static constexpr std::array localSuffixes = {
        u".localhost", u".test", u".local", u".localdomain", u".internal", u".invalid", u".example",
    };
    for (const char16_t* suffix : localSuffixes) {
        if (lowered.endsWith(QStringView(suffix)))
            return false;
    }
    if (lowered.startsWith(u'['))
        return false;

    QStringView lastLabel;
    for (QStringView label : QStringView(lowered).tokenize(u'.', Qt::SkipEmptyParts))
        lastLabel = label;
    if (!lastLabel.isEmpty() && std::all_of(lastLabel.begin(), lastLabel.end(), [](QChar c) { return c.isNumber(); }))
        return false;
    return true;
}
