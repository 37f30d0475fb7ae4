#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Where feedback goes and the key its requests are signed with: the build's settings (AppInfo), each replaced by
// its environment variable when that is set, for people who run their own endpoint and for tests:
// LINKHERD_SUPPORT_URL, LINKHERD_SUPPORT_SECRET, and LINKHERD_SUPPORT_CA (a PEM file of certificates trusted
// besides the system's). Read afresh each time, so nothing is remembered between sends.
struct SupportEndpoint final {
    QUrl url;
    // The signing key's UTF-8 bytes; empty when the key is not usable (unset, empty, or an unexpanded "$(…)").
    QByteArray key;
    // The extra certificates' file; empty for none.
    QString extraCertificates;

    static SupportEndpoint current();

    // A usable key and an https address with a host: only then does a request leave.
    bool isConfigured() const;
    // The name the "Couldn't reach …" text gives.
    QString host() const { return url.host(); }
};
