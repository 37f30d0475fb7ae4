#include "support_endpoint.h"

#include "app_info.h"

using namespace Qt::StringLiterals;

namespace {

QString setting(const char* variable, const char* built)
{
    return qEnvironmentVariableIsSet(variable) ? qEnvironmentVariable(variable) : QString::fromUtf8(built);
}

} // namespace

SupportEndpoint SupportEndpoint::current()
{
    SupportEndpoint endpoint;
    endpoint.url = QUrl(setting("LINKHERD_SUPPORT_URL", AppInfo::feedbackEndpointURL), QUrl::StrictMode);
    // A build whose secret was never filled in carries the reference itself, "$(SUPPORT_SECRET)" or the like.
    const QString secret = setting("LINKHERD_SUPPORT_SECRET", AppInfo::feedbackSecret);
    if (!secret.isEmpty() && !secret.startsWith(u"$("_s))
        endpoint.key = secret.toUtf8();
    endpoint.extraCertificates = qEnvironmentVariable("LINKHERD_SUPPORT_CA");
    return endpoint;
}

bool SupportEndpoint::isConfigured() const
{
    // The signature proves who sent a request only while nobody on the way can read it.
    return !key.isEmpty() && url.isValid() && url.scheme() == u"https"_s && !url.host().isEmpty();
}
