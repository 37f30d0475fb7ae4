#include "app_attest_client.h"

AppAttestClient& AppAttestClient::shared()
{
    static AppAttestClient client;
    return client;
}

std::optional<AppAttestClient::Attestation> AppAttestClient::attestation()
{
    return std::nullopt;
}

std::optional<QString> AppAttestClient::assertion(const QString&, QByteArrayView, QByteArrayView)
{
    return std::nullopt;
}
