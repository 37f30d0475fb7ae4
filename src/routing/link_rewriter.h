#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Cleans a link before the rules see it: removes tracking parameters from the query and upgrades http to
// https except for local and development addresses. Only the scheme and the query ever change; a link
// that neither step changes comes back as the very same text.
struct LinkRewriter final {
    bool stripsTrackingParameters = false;
    bool upgradesToHTTPS = false;
    QStringList parameters = defaultParameters();

    // The built-in tracking parameters; an entry ending in "*" is a prefix.
    static const QStringList& defaultParameters();
    // Both switches off, with the built-in list: what a document without a rewriter means.
    static LinkRewriter initial() { return LinkRewriter(); }

    QString apply(const QString& link) const;

    // False for hosts that must stay on http: localhost and the reserved local and test domains,
    // bracketed IPv6 literals and hosts whose last label is a number (IPv4 addresses).
    static bool isUpgradable(QStringView host);

    friend bool operator==(const LinkRewriter&, const LinkRewriter&) = default;
};
