#include "bus_properties.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMetaType>

using namespace Qt::StringLiterals;

namespace {

QString interfaceOf(const QObject& adaptor)
{
    const QMetaObject* meta = adaptor.metaObject();
    const int index = meta->indexOfClassInfo("D-Bus Interface");
    return index < 0 ? QString() : QString::fromLatin1(meta->classInfo(index).value());
}

// The D-Bus type of a value as it came in: basic types and arrays of strings arrive as Qt types, the rest as
// the argument still to be read.
QString signatureOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return qvariant_cast<QDBusArgument>(value).currentSignature();
    const char* signature = QDBusMetaType::typeToSignature(value.metaType());
    return signature ? QString::fromLatin1(signature) : QString();
}

QString signatureOf(const QMetaProperty& property)
{
    const char* signature = QDBusMetaType::typeToSignature(property.metaType());
    return signature ? QString::fromLatin1(signature) : QString();
}

} // namespace

BusProperties::BusProperties(QObject* object) : QDBusAbstractAdaptor(object) {}

void BusProperties::setWriter(const QString& interfaceName, const QString& propertyName, Writer writer)
{
    m_writers.insert(interfaceName + u'.' + propertyName, std::move(writer));
}

void BusProperties::refuse(const QDBusMessage& call, const QString& name, const QString& text)
{
    call.setDelayedReply(true);
    QDBusConnection::sessionBus().send(call.createErrorReply(name, text));
}

QList<std::pair<QObject*, QString>> BusProperties::adaptors(const QString& interfaceName) const
{
    QList<std::pair<QObject*, QString>> found;
    for (QDBusAbstractAdaptor* adaptor : parent()->findChildren<QDBusAbstractAdaptor*>(Qt::FindDirectChildrenOnly)) {
        const QString name = interfaceOf(*adaptor);
        if (adaptor != this && !name.isEmpty() && (interfaceName.isEmpty() || name == interfaceName))
            found.append({adaptor, name});
    }
    return found;
}

std::optional<BusProperties::Property> BusProperties::find(const QString& interfaceName, const QString& propertyName,
                                                           const QDBusMessage& call) const
{
    const QList<std::pair<QObject*, QString>> offering = adaptors(interfaceName);
    if (offering.isEmpty() && !interfaceName.isEmpty()) {
        refuse(call, QDBusError::errorString(QDBusError::UnknownInterface),
               u"No interface %1 here"_s.arg(interfaceName));
        return std::nullopt;
    }
    for (const auto& [adaptor, name] : offering) {
        const QMetaObject* meta = adaptor->metaObject();
        const int index = meta->indexOfProperty(propertyName.toUtf8().constData());
        if (index >= QDBusAbstractAdaptor::staticMetaObject.propertyCount())
            return Property{adaptor, name, meta->property(index)};
    }
    refuse(call, QDBusError::errorString(QDBusError::UnknownProperty), u"No property %1 here"_s.arg(propertyName));
    return std::nullopt;
}

QDBusVariant BusProperties::Get(const QString& interfaceName, const QString& propertyName, const QDBusMessage& call)
{
    const std::optional<Property> property = find(interfaceName, propertyName, call);
    if (!property)
        return {};
    return QDBusVariant(property->meta.read(property->adaptor));
}

QVariantMap BusProperties::GetAll(const QString& interfaceName, const QDBusMessage& call)
{
    const QList<std::pair<QObject*, QString>> offering = adaptors(interfaceName);
    if (offering.isEmpty() && !interfaceName.isEmpty()) {
        refuse(call, QDBusError::errorString(QDBusError::UnknownInterface),
               u"No interface %1 here"_s.arg(interfaceName));
        return {};
    }
    QVariantMap values;
    for (const auto& [adaptor, name] : offering) {
        const QMetaObject* meta = adaptor->metaObject();
        for (int index = QDBusAbstractAdaptor::staticMetaObject.propertyCount(); index < meta->propertyCount();
             ++index) {
            const QMetaProperty property = meta->property(index);
            if (property.isReadable() && !signatureOf(property).isEmpty())
                values.insert(QString::fromLatin1(property.name()), property.read(adaptor));
        }
    }
    return values;
}

void BusProperties::Set(const QString& interfaceName, const QString& propertyName, const QDBusVariant& value,
                        const QDBusMessage& call)
{
    const std::optional<Property> property = find(interfaceName, propertyName, call);
    if (!property)
        return;
    if (!property->meta.isWritable()) {
        refuse(call, QDBusError::errorString(QDBusError::PropertyReadOnly), u"%1 is read-only"_s.arg(propertyName));
        return;
    }
    const QString expected = signatureOf(property->meta);
    const QString given = signatureOf(value.variant());
    if (given != expected) {
        refuse(call, QDBusError::errorString(QDBusError::InvalidArgs),
               u"%1 takes a value of D-Bus type %2, not %3"_s.arg(propertyName, expected,
                                                                  given.isEmpty() ? u"unknown"_s : given));
        return;
    }
    QVariant typed = value.variant();
    if (typed.metaType() == QMetaType::fromType<QDBusArgument>()) {
        QVariant read(property->meta.metaType());
        if (!QDBusMetaType::demarshall(qvariant_cast<QDBusArgument>(typed), read.metaType(), read.data())) {
            refuse(call, QDBusError::errorString(QDBusError::InvalidArgs),
                   u"%1 could not be read as its type"_s.arg(propertyName));
            return;
        }
        typed = std::move(read);
    }
    if (const auto writer = m_writers.constFind(property->interfaceName + u'.' + propertyName);
        writer != m_writers.cend())
        (*writer)(typed, call);
    else if (!property->meta.write(property->adaptor, typed))
        refuse(call, QDBusError::errorString(QDBusError::Failed), u"%1 was not changed"_s.arg(propertyName));
}
