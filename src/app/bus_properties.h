#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QHash>
#include <QMetaProperty>
#include <QVariantMap>

#include <functional>
#include <optional>

// org.freedesktop.DBus.Properties for the other adaptors of one object, answered here rather than by Qt: Qt
// converts a value written to a property into the property's type (an Int32 5 becomes "5", an array of one
// string that string) and answers one it cannot convert with an internal error. Here a value whose D-Bus type is
// not the property's is refused with org.freedesktop.DBus.Error.InvalidArgs, and nothing changes. Main thread.
class BusProperties final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")
    // Qt describes this interface on every object already: described here too, it would be listed twice.
    Q_CLASSINFO("D-Bus Introspection", "")

public:
    explicit BusProperties(QObject* object);

    // Takes a value of the property's type in place of its WRITE function, so that a change that is refused
    // (the rules file does not take it) is an error to the caller: it either writes the value or sends the
    // call's error reply itself.
    using Writer = std::function<void(const QVariant& value, const QDBusMessage& call)>;
    void setWriter(const QString& interfaceName, const QString& propertyName, Writer writer);

    // Sends the error reply to a call answered by a slot that takes the call.
    static void refuse(const QDBusMessage& call, const QString& name, const QString& text);

public Q_SLOTS:
    QDBusVariant Get(const QString& interfaceName, const QString& propertyName, const QDBusMessage& call);
    QVariantMap GetAll(const QString& interfaceName, const QDBusMessage& call);
    void Set(const QString& interfaceName, const QString& propertyName, const QDBusVariant& value,
             const QDBusMessage& call);

private:
    struct Property final {
        QObject* adaptor = nullptr;
        QString interfaceName;
        QMetaProperty meta;
    };
    // The property an adaptor of the object offers; nothing (and the call refused) when there is none.
    std::optional<Property> find(const QString& interfaceName, const QString& propertyName,
                                 const QDBusMessage& call) const;
    // The object's other adaptors that offer interfaceName, or all of them when it is empty.
    QList<std::pair<QObject*, QString>> adaptors(const QString& interfaceName) const;

    QHash<QString, Writer> m_writers; // by "interface.property"
};
