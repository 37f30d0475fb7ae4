#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <algorithm>

// Writes JSON laid out byte for byte as QJsonDocument's indented form, which is how the rules file used to
// be written, so that files written then compare equal to what is written now: four spaces a level,
// `"key": value`, an empty object or array still opened on one line and closed on the next. Strings are
// escaped as Qt escapes them, plus "/" as "\/". The compact layout has no white space at all and no final line
// break, for bytes that are signed as they are sent.
class JsonWriter final {
public:
    enum class Layout { indented, compact };

    explicit JsonWriter(qsizetype expectedSize, Layout layout = Layout::indented)
        : m_bytes(expectedSize, Qt::Uninitialized),
          m_compact(layout == Layout::compact)
    {}

    void beginObject() { open("{\n"); }
    void endObject() { close('}'); }
    void beginArray() { open("[\n"); }
    void endArray() { close(']'); }

    // Starts an object member; its value is written next. Names are plain ASCII and need no escaping. Written in
    // one go: a rules file has some ten of these per rule.
    void key(QByteArrayView name)
    {
        const qsizetype separator = m_isEmpty ? 0 : (m_compact ? 1 : 2);
        const qsizetype indentation = m_compact ? 0 : 4 * m_depth;
        char* out = extend(separator + indentation + name.size() + (m_compact ? 3 : 4));
        if (separator > 0) {
            *out++ = ',';
            if (!m_compact)
                *out++ = '\n';
        }
        out = std::fill_n(out, indentation, ' ');
        *out++ = '"';
        out = std::copy_n(name.data(), name.size(), out);
        *out++ = '"';
        *out++ = ':';
        if (!m_compact)
            *out = ' ';
        m_isEmpty = false;
    }
    // Starts an array element; its value is written next.
    void element() { nextItem(); }

    void string(QStringView text);
    // For text known to be ASCII without anything to escape, such as an id.
    void asciiString(QByteArrayView text)
    {
        put("\"");
        put(text);
        put("\"");
    }
    void boolean(bool value) { put(value ? "true" : "false"); }
    void integer(qint64 value) { put(QByteArray::number(value)); }
    void null() { put("null"); }

    // The text, ending with a line break unless compact.
    QByteArray finish()
    {
        if (!m_compact)
            put("\n");
        m_bytes.truncate(m_size);
        return std::move(m_bytes);
    }

private:
    // Room for count more bytes after what is written so far, to be filled by the caller.
    char* extend(qsizetype count)
    {
        if (m_size + count > m_bytes.size())
            m_bytes.resize(std::max(2 * m_bytes.size(), m_size + count));
        char* end = m_bytes.data() + m_size;
        m_size += count;
        return end;
    }

    void put(QByteArrayView bytes) { std::copy_n(bytes.data(), bytes.size(), extend(bytes.size())); }
    void indent()
    {
        if (!m_compact)
            std::fill_n(extend(4 * m_depth), 4 * m_depth, ' ');
    }

    void open(QByteArrayView bracket)
    {
        put(m_compact ? bracket.first(1) : bracket);
        ++m_depth;
        m_isEmpty = true;
    }

    void close(char bracket)
    {
        if (!m_isEmpty && !m_compact)
            put("\n");
        --m_depth;
        indent();
        put(QByteArrayView(&bracket, 1));
        m_isEmpty = false;
    }

    void nextItem()
    {
        if (!m_isEmpty)
            put(m_compact ? "," : ",\n");
        m_isEmpty = false;
        indent();
    }

    QByteArray m_bytes; // m_size bytes written, then room to grow into
    qsizetype m_size = 0;
    int m_depth = 0;
    bool m_isEmpty = true; // nothing written yet in the innermost open object or array
    bool m_compact;
};
