#include "json_member_text.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Walks text that is already known to be JSON: it finds where things end, it does not judge them.
class Scanner final {
public:
    explicit Scanner(QByteArrayView text) : m_text(text) {}

    qsizetype position() const { return m_position; }
    bool atEnd() const { return m_position >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_position]; }

    void skipSpace()
    {
        while (!atEnd() && isJsonSpace(peek()))
            ++m_position;
    }

    bool take(char c)
    {
        skipSpace();
        if (peek() != c)
            return false;
        ++m_position;
        return true;
    }

    // From an opening quote to past the closing one.
    bool skipString()
    {
        if (peek() != '"')
            return false;
        for (++m_position; !atEnd(); ++m_position) {
            if (m_text[m_position] == '\\') {
                ++m_position;
            } else if (m_text[m_position] == '"') {
                ++m_position;
                return true;
            }
        }
        return false;
    }

    // One value of any kind; nested objects and arrays are counted, not recursed into.
    bool skipValue()
    {
        skipSpace();
        qsizetype depth = 0;
        do {
            if (atEnd())
                return false;
            const char c = peek();
            if (c == '"') {
                if (!skipString())
                    return false;
                continue;
            }
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                --depth;
            } else if (depth == 0) {
                // A number or a literal: up to what ends it.
                while (!atEnd() && !isJsonSpace(peek()) && peek() != ',' && peek() != '}' && peek() != ']')
                    ++m_position;
                return true;
            }
            ++m_position;
        } while (depth > 0);
        return true;
    }

private:
    QByteArrayView m_text;
    qsizetype m_position = 0;
};

// A member's name token (with its quotes) against a plain name; escapes in the token are read as JSON reads them.
bool nameIs(QByteArrayView token, QLatin1StringView name)
{
    const QByteArrayView inside = token.sliced(1, token.size() - 2);
    if (!inside.contains('\\'))
        return inside == QByteArrayView(name.data(), name.size());
    const QByteArray array = '[' + token.toByteArray() + ']';
    return QJsonDocument::fromJson(array).array().at(0).toString() == name;
}

} // namespace

std::optional<QByteArrayView> jsonMemberText(QByteArrayView object, QLatin1StringView name)
{
    Scanner scanner(object);
    if (!scanner.take('{'))
        return std::nullopt;
    std::optional<QByteArrayView> found;
    if (scanner.take('}'))
        return found;
    do {
        scanner.skipSpace();
        const qsizetype nameStart = scanner.position();
        if (!scanner.skipString())
            return std::nullopt;
        const QByteArrayView token = object.sliced(nameStart, scanner.position() - nameStart);
        if (!scanner.take(':'))
            return std::nullopt;
        scanner.skipSpace();
        const qsizetype valueStart = scanner.position();
        if (!scanner.skipValue())
            return std::nullopt;
        if (nameIs(token, name))
            found = object.sliced(valueStart, scanner.position() - valueStart);
    } while (scanner.take(','));
    if (!scanner.take('}'))
        return std::nullopt;
    return found;
}
