#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Cleans a link before the rules see it: takes the real link out of known redirect wrappers (Outlook Safe Links,
// Google, Slack, ...), removes tracking parameters from the query and upgrades http to https except for local
// and development addresses. Unwrapping replaces the link with its target; the other steps change only the
// scheme and the query. A link that no step changes comes back as the very same text.
struct LinkRewriter final {
    bool stripsTrackingParameters = false;
    bool upgradesToHTTPS = false;
    bool unwrapsRedirects = false;
    QStringList parameters = defaultParameters();

    // Wrappers inside wrappers are taken apart this many deep; a deeper one stays as it is.
    static constexpr int maximumUnwrapDepth = 3;

    // One step of cleaning that changed the link.
    struct Step final {
        enum class Kind { unwrap, https, strip };
        Kind kind = Kind::unwrap;
        QString detail; // unwrap: the wrapper's name; strip: the removed parameters' names, as the link spells them

        friend bool operator==(const Step&, const Step&) = default;
    };

    // The built-in tracking parameters; an entry ending in "*" is a prefix.
    static const QStringList& defaultParameters();
    // All switches off, with the built-in list: what a document without a rewriter means.
    static LinkRewriter initial() { return LinkRewriter(); }

    QString apply(const QString& link) const { return apply(link, nullptr); }
    // The same, telling in steps (when given) what changed, in order.
    QString apply(const QString& link, QList<Step>* steps) const;

    // False for hosts that must stay on http: localhost and the reserved local and test domains,
    // bracketed IPv6 literals and hosts whose last label is a number (IPv4 addresses).
    static bool isUpgradable(QStringView host);

    friend bool operator==(const LinkRewriter&, const LinkRewriter&) = default;
};
