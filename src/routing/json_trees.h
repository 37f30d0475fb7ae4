#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QString>

#include <optional>
#include <simdjson.h>

// The two parsed forms the rules reader walks, behind one small interface. simdjson reads a well-formed file
// several times faster than QJsonDocument, which is most of what loading ten thousand rules costs. What
// simdjson refuses goes to QJsonDocument, whose verdict and error texts (with line and column) stand: it also
// takes what simdjson is stricter about, such as lone surrogates escaped in strings, which the writer makes
// of such characters in patterns.
namespace JsonTrees {

enum class Kind { null, boolean, number, string, array, object };

class SimdValue final {
public:
    explicit SimdValue(simdjson::dom::element element) : m_element(element) {}

    Kind kind() const
    {
        using Type = simdjson::dom::element_type;
        switch (m_element.type()) {
        case Type::ARRAY:
            return Kind::array;
        case Type::OBJECT:
            return Kind::object;
        case Type::INT64:
        case Type::UINT64:
        case Type::DOUBLE:
            return Kind::number;
        case Type::STRING:
            return Kind::string;
        case Type::BOOL:
            return Kind::boolean;
        case Type::NULL_VALUE:
            break;
        }
        return Kind::null;
    }

    // Each of these is called only after kind() said so.
    bool toBool() const { return m_element.get_bool().value_unsafe(); }
    double toDouble() const { return m_element.get_double().value_unsafe(); }
    QString toString() const
    {
        const std::string_view text = m_element.get_string().value_unsafe();
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }

    // The last member of that name, as QJsonDocument takes a key given twice.
    std::optional<SimdValue> member(QLatin1StringView key) const
    {
        const std::string_view name(key.data(), std::size_t(key.size()));
        std::optional<SimdValue> found;
        const simdjson::dom::object object = m_element.get_object().value_unsafe();
        for (const simdjson::dom::key_value_pair field : object) {
            if (field.key == name)
                found = SimdValue(field.value);
        }
        return found;
    }

    qsizetype size() const
    {
        const simdjson::dom::array array = m_element.get_array().value_unsafe();
        return qsizetype(array.size());
    }

    // Until visit(element, index) returns false. Walked in order: simdjson finds an element by index only by
    // counting from the front.
    template <class Visit>
    bool forEachElement(Visit visit) const
    {
        qsizetype index = 0;
        const simdjson::dom::array array = m_element.get_array().value_unsafe();
        for (const simdjson::dom::element element : array) {
            if (!visit(SimdValue(element), index++))
                return false;
        }
        return true;
    }

private:
    simdjson::dom::element m_element;
};

class QtValue final {
public:
    explicit QtValue(QJsonValue value) : m_value(std::move(value)) {}

    Kind kind() const
    {
        switch (m_value.type()) {
        case QJsonValue::Bool:
            return Kind::boolean;
        case QJsonValue::Double:
            return Kind::number;
        case QJsonValue::String:
            return Kind::string;
        case QJsonValue::Array:
            return Kind::array;
        case QJsonValue::Object:
            return Kind::object;
        case QJsonValue::Null:
        case QJsonValue::Undefined:
            break;
        }
        return Kind::null;
    }

    bool toBool() const { return m_value.toBool(); }
    double toDouble() const { return m_value.toDouble(); }
    QString toString() const { return m_value.toString(); }

    std::optional<QtValue> member(QLatin1StringView key) const
    {
        QJsonValue value = m_value.toObject().value(key);
        if (value.isUndefined())
            return std::nullopt;
        return QtValue(std::move(value));
    }

    qsizetype size() const { return m_value.toArray().size(); }

    template <class Visit>
    bool forEachElement(Visit visit) const
    {
        const QJsonArray array = m_value.toArray();
        for (qsizetype index = 0; index < array.size(); ++index) {
            if (!visit(QtValue(array[index]), index))
                return false;
        }
        return true;
    }

private:
    QJsonValue m_value;
};

} // namespace JsonTrees
