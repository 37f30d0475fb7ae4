#include "status_notifier_panel.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace {

const QString watcherName = u"org.kde.StatusNotifierWatcher"_s;
const QString watcherPath = u"/StatusNotifierWatcher"_s;
const QString menuPath = u"/MenuBar"_s;
const QString menuInterface = u"com.canonical.dbusmenu"_s;

QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    // The item may live in this process and answer from its event loop.
    return QDBusConnection::sessionBus().call(message, QDBus::BlockWithGui);
}

void readLayout(const QDBusArgument& argument, int depth, StatusNotifierPanel::Menu& menu)
{
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    if (depth >= 0) {
        QString line = QString(depth * 2, u' ');
        if (properties.value(u"type"_s) == u"separator"_s) {
            line += u'-';
        } else {
            line += properties.value(u"label"_s).toString();
            if (properties.contains(u"enabled"_s) && !properties.value(u"enabled"_s).toBool())
                line += u" (off)"_s;
            if (properties.contains(u"shortcut"_s))
                line += u" ["_s + qdbus_cast<QList<QStringList>>(properties.value(u"shortcut"_s)).value(0).join(u'+') +
                        u']';
            if (properties.contains(u"icon-name"_s))
                line += u" {"_s + properties.value(u"icon-name"_s).toString() + u'}';
            if (properties.contains(u"icon-data"_s))
                line += u" {%1 bytes}"_s.arg(properties.value(u"icon-data"_s).toByteArray().size());
        }
        menu.lines.append(line);
        menu.ids.append(id);
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        readLayout(child.variant().value<QDBusArgument>(), depth + 1, menu);
    }
    argument.endArray();
    argument.endStructure();
}

} // namespace

bool FakeStatusNotifierWatcher::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerObject(watcherPath, this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) &&
           bus.registerService(watcherName);
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(watcherName);
    bus.unregisterObject(watcherPath);
}

namespace StatusNotifierPanel {

Menu menu(const QString& service)
{
    const QDBusMessage reply = call(service, menuPath, menuInterface, u"GetLayout"_s, {0, -1, QStringList()});
    Menu read;
    if (reply.type() == QDBusMessage::ReplyMessage)
        readLayout(reply.arguments().value(1).value<QDBusArgument>(), -1, read);
    return read;
}

QDBusMessage click(const QString& service, int id)
{
    return call(service, menuPath, menuInterface, u"Event"_s,
                {id, u"clicked"_s, QVariant::fromValue(QDBusVariant(0)), 4242u});
}

QVariant itemProperty(const QString& service, const QString& name)
{
    const QDBusMessage reply = call(service, u"/StatusNotifierItem"_s, u"org.freedesktop.DBus.Properties"_s, u"Get"_s,
                                    {u"org.kde.StatusNotifierItem"_s, name});
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).value<QDBusVariant>().variant()
                                                      : QVariant();
}

} // namespace StatusNotifierPanel
