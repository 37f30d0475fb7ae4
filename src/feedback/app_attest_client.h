#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// Lets the support endpoint tell that a request came from this application on a device the platform vouches
// for, where the platform has such a service. The Linux desktop has none an application could use, so this
// client never has anything to add: every request goes out protected by its HMAC signature alone, and the
// endpoint must take requests without attestation. It keeps the place where such a service would plug in, with
// the shape the request expects from it.
class AppAttestClient final {
public:
    struct Attestation {
        QString keyID;
        QString attestation; // standard base64, no line breaks
    };

    static AppAttestClient& shared();

    // The attested key of this installation, once it has one.
    std::optional<Attestation> attestation();
    // The key's assertion over one request: its timestamp, a line feed, its body. Standard base64.
    std::optional<QString> assertion(const QString& keyID, QByteArrayView timestamp, QByteArrayView body);
};
