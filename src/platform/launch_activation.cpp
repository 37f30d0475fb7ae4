#include "launch_activation.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace {

QString usable(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString)
        return QString();
    const QString text = value.toString();
    if (text.size() > LaunchActivation::longest)
        return QString();
    for (const QChar character : text) {
        if (character.category() == QChar::Other_Control)
            return QString();
    }
    return text;
}

QString takeVariable(const char* name)
{
    const QString value = usable(qEnvironmentVariable(name));
    qunsetenv(name);
    return value;
}

} // namespace

LaunchActivation LaunchActivation::fromPlatformData(const QVariantMap& platformData)
{
    return {usable(platformData.value(u"activation-token"_s)), usable(platformData.value(u"desktop-startup-id"_s))};
}

LaunchActivation LaunchActivation::takeFromEnvironment()
{
    return {takeVariable("XDG_ACTIVATION_TOKEN"), takeVariable("DESKTOP_STARTUP_ID")};
}

LaunchActivation takeActivation(const HandOverActivation& activation)
{
    return activation ? std::exchange(*activation, {}) : LaunchActivation{};
}

HandOverActivation shareActivation(const LaunchActivation& activation)
{
    return activation.isEmpty() ? nullptr : std::make_shared<LaunchActivation>(activation);
}
