#pragma once

#include "platform/launch_activation.h"
#include "platform/tray_menu_entry.h"
#include "services/router.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// What the resident and its window process say to each other over the window process's standard input and output:
// one JSON object per line, its "kind" first. The resident routes links and keeps what outlives a window (the
// links waiting for a choice, the alerts waiting for an answer, the recent links); the window process draws.
namespace WindowMessages {

// A line longer than this is not one of ours: it is dropped, and the reader goes on with the next line.
constexpr qsizetype longestLine = 4 * 1024 * 1024;

struct Message {
    QString kind;
    QJsonObject fields;
};

// The line for a message, ending in a line feed.
QByteArray encode(const QString& kind, const QJsonObject& fields = {});

// Splits what arrives into messages; whatever is not a JSON object with a kind is dropped with a warning.
class LineReader {
public:
    void append(const QByteArray& data);
    std::optional<Message> next();

private:
    QByteArray m_buffer;
    bool m_skippingLongLine = false;
};

QJsonObject toJson(const LaunchActivation& activation);
LaunchActivation activationFromJson(const QJsonValue& value);

// The windows the resident asks for by name; reopen is the rules window, or the panel while links wait in it.
enum class Window { rules, settings, feedback, reopen };
QString nameOf(Window window);
std::optional<Window> windowNamed(const QString& name);

// A link waiting for the user's choice; its activation goes with it, and is taken from the request.
QJsonObject toJson(const Router::Request& request);
Router::Request requestFromJson(const QJsonObject& object);

// What the user chose in the panel or the tray menu: the resident opens it and keeps it among the recent links.
struct Launch {
    Router::Routed routed;
    LaunchActivation activation;
};
QJsonObject toJson(const Launch& launch);
Launch launchFromJson(const QJsonObject& object);

QJsonObject toJson(const Router::Alert& alert);
Router::Alert alertFromJson(const QJsonObject& object);

// The tray menu's lines with their commands replaced by numbers: an entry's number is its place in a walk through
// the lines, submenus included, so both sides count alike.
QJsonObject toJson(const QList<TrayMenuEntry>& entries);
// The lines again, each command calling chosen with its number and the time of the input that chose it.
QList<TrayMenuEntry> trayMenuFromJson(const QJsonObject& object,
                                      const std::function<void(int entry, quint32 inputTime)>& chosen);
// The command of the line with that number; none when there is no such line or it has no command.
std::function<void(quint32 inputTime)> trayCommand(const QList<TrayMenuEntry>& entries, int entry);

} // namespace WindowMessages
