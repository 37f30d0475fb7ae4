#include "window_messages.h"

#include "base/logging.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace WindowMessages {

namespace {

QString string(const QJsonObject& object, QLatin1StringView key)
{
    return object.value(key).toString();
}

void insertIfSet(QJsonObject& object, QLatin1StringView key, const QString& value)
{
    if (!value.isEmpty())
        object.insert(key, value);
}

QJsonArray entriesToJson(const QList<TrayMenuEntry>& entries, int& number)
{
    QJsonArray lines;
    for (const TrayMenuEntry& entry : entries) {
        QJsonObject line{{"entry"_L1, number++}};
        if (entry.separator)
            line.insert("separator"_L1, true);
        insertIfSet(line, "text"_L1, entry.text);
        insertIfSet(line, "icon"_L1, entry.icon);
        insertIfSet(line, "shortcut"_L1, entry.shortcut);
        if (!entry.enabled)
            line.insert("enabled"_L1, false);
        if (!entry.children.isEmpty())
            line.insert("children"_L1, entriesToJson(entry.children, number));
        lines.append(line);
    }
    return lines;
}

QList<TrayMenuEntry> entriesFromJson(const QJsonArray& lines,
                                     const std::function<void(int entry, quint32 inputTime)>& chosen, int depth)
{
    QList<TrayMenuEntry> entries;
    if (depth > 8)
        return entries;
    for (const QJsonValue& value : lines) {
        const QJsonObject line = value.toObject();
        const int number = line.value("entry"_L1).toInt(-1);
        TrayMenuEntry entry{.separator = line.value("separator"_L1).toBool(),
                            .text = string(line, "text"_L1),
                            .icon = string(line, "icon"_L1),
                            .shortcut = string(line, "shortcut"_L1),
                            .enabled = line.value("enabled"_L1).toBool(true),
                            .children = entriesFromJson(line.value("children"_L1).toArray(), chosen, depth + 1)};
        if (!entry.separator && entry.children.isEmpty() && number >= 0)
            entry.activated = [chosen, number](quint32 inputTime) { chosen(number, inputTime); };
        entries.append(std::move(entry));
    }
    return entries;
}

const TrayMenuEntry* findEntry(const QList<TrayMenuEntry>& entries, int& number)
{
    for (const TrayMenuEntry& entry : entries) {
        if (number-- == 0)
            return &entry;
        if (const TrayMenuEntry* found = findEntry(entry.children, number))
            return found;
    }
    return nullptr;
}

} // namespace

QByteArray encode(const QString& kind, const QJsonObject& fields)
{
    QJsonObject object = fields;
    object.insert("kind"_L1, kind);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

void LineReader::append(const QByteArray& data)
{
    m_buffer.append(data);
}

std::optional<Message> LineReader::next()
{
    while (true) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0) {
            if (m_buffer.size() > longestLine) {
                qCWarning(lcApp, "Dropped a message of more than %lld bytes", static_cast<long long>(longestLine));
                m_buffer.clear();
                m_skippingLongLine = true;
            }
            return std::nullopt;
        }
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        if (std::exchange(m_skippingLongLine, false) || line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        const QString kind = document.object().value("kind"_L1).toString();
        if (error.error != QJsonParseError::NoError || !document.isObject() || kind.isEmpty()) {
            qCWarning(lcApp, "Dropped a message that is not one: %s", qUtf8Printable(error.errorString()));
            continue;
        }
        return Message{kind, document.object()};
    }
}

QJsonObject toJson(const LaunchActivation& activation)
{
    QJsonObject object;
    insertIfSet(object, "token"_L1, activation.token);
    insertIfSet(object, "startupID"_L1, activation.startupID);
    return object;
}

LaunchActivation activationFromJson(const QJsonValue& value)
{
    const QJsonObject object = value.toObject();
    LaunchActivation activation{string(object, "token"_L1), string(object, "startupID"_L1)};
    if (activation.token.size() > LaunchActivation::longest || activation.startupID.size() > LaunchActivation::longest)
        return {};
    return activation;
}

QJsonObject toJson(const Router::Request& request)
{
    QJsonObject object{{"id"_L1, request.id.toString(QUuid::WithoutBraces)}, {"url"_L1, request.url}};
    insertIfSet(object, "source"_L1, request.sourceDesktopID);
    if (request.activation && !request.activation->isEmpty())
        object.insert("activation"_L1, toJson(*request.activation));
    return object;
}

Router::Request requestFromJson(const QJsonObject& object)
{
    return {.id = QUuid::fromString(string(object, "id"_L1)),
            .url = string(object, "url"_L1),
            .sourceDesktopID = string(object, "source"_L1),
            .activation = shareActivation(activationFromJson(object.value("activation"_L1)))};
}

QJsonObject toJson(const Launch& launch)
{
    QJsonObject object{{"url"_L1, launch.routed.url}, {"browser"_L1, launch.routed.browserDesktopID}};
    if (launch.routed.profile)
        object.insert("profile"_L1, *launch.routed.profile);
    insertIfSet(object, "source"_L1, launch.routed.sourceDesktopID);
    if (!launch.activation.isEmpty())
        object.insert("activation"_L1, toJson(launch.activation));
    return object;
}

Launch launchFromJson(const QJsonObject& object)
{
    const QJsonValue profile = object.value("profile"_L1);
    return {.routed = {.url = string(object, "url"_L1),
                       .browserDesktopID = string(object, "browser"_L1),
                       .profile = profile.isString() ? std::optional<QString>(profile.toString()) : std::nullopt,
                       .sourceDesktopID = string(object, "source"_L1)},
            .activation = activationFromJson(object.value("activation"_L1))};
}

namespace {

constexpr std::array<std::pair<Window, QLatin1StringView>, 4> windowNames{{
    {Window::rules, "rules"_L1},
    {Window::settings, "settings"_L1},
    {Window::feedback, "feedback"_L1},
    {Window::reopen, "reopen"_L1},
}};

} // namespace

QString nameOf(Window window)
{
    for (const auto& [each, name] : windowNames) {
        if (each == window)
            return name;
    }
    return {};
}

std::optional<Window> windowNamed(const QString& name)
{
    for (const auto& [window, each] : windowNames) {
        if (each == name)
            return window;
    }
    return std::nullopt;
}

QJsonObject toJson(const Router::Alert& alert)
{
    return {{"message"_L1, alert.message},
            {"informativeText"_L1, alert.informativeText},
            {"buttons"_L1, QJsonArray::fromStringList(alert.buttons)}};
}

Router::Alert alertFromJson(const QJsonObject& object)
{
    QStringList buttons;
    for (const QJsonValue& button : object.value("buttons"_L1).toArray())
        buttons.append(button.toString());
    return {string(object, "message"_L1), string(object, "informativeText"_L1), buttons};
}

QJsonObject toJson(const QList<TrayMenuEntry>& entries)
{
    int number = 0;
    return {{"entries"_L1, entriesToJson(entries, number)}};
}

QList<TrayMenuEntry> trayMenuFromJson(const QJsonObject& object,
                                      const std::function<void(int entry, quint32 inputTime)>& chosen)
{
    return entriesFromJson(object.value("entries"_L1).toArray(), chosen, 0);
}

std::function<void(quint32 inputTime)> trayCommand(const QList<TrayMenuEntry>& entries, int entry)
{
    if (entry < 0)
        return {};
    const TrayMenuEntry* found = findEntry(entries, entry);
    return found && found->enabled ? found->activated : std::function<void(quint32)>();
}

} // namespace WindowMessages
