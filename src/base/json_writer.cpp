#include "json_writer.h"

#include <QChar>

namespace {

char hexDigit(char32_t value)
{
    return "0123456789abcdef"[value & 0xf];
}

// The letter after the backslash when c has a two-character escape, otherwise 0.
char shortEscape(char16_t c)
{
    switch (c) {
    case u'"':
    case u'\\':
    case u'/':
        return char(c);
    case u'\b':
        return 'b';
    case u'\f':
        return 'f';
    case u'\n':
        return 'n';
    case u'\r':
        return 'r';
    case u'\t':
        return 't';
    default:
        return 0;
    }
}

} // namespace

void JsonWriter::string(QStringView text)
{
    // Room for the worst case, six bytes for each UTF-16 unit; what is left over is given back below.
    char* out = extend(6 * text.size() + 2);
    const auto escape = [&out](char32_t unit) {
        *out++ = '\\';
        *out++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4)
            *out++ = hexDigit(unit >> shift);
    };

    *out++ = '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        // Most of a rules file: printable ASCII that needs no escape, tested first.
        if (c >= 0x20 && c < 0x7f && c != u'"' && c != u'\\' && c != u'/') {
            *out++ = char(c);
        } else if (c < 0x80) {
            if (const char letter = shortEscape(c)) {
                *out++ = '\\';
                *out++ = letter;
            } else if (c < 0x20) {
                escape(c);
            } else {
                *out++ = char(c);
            }
        } else if (c < 0x800) {
            *out++ = char(0xc0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3f));
        } else if (!QChar::isSurrogate(c)) {
            *out++ = char(0xe0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3f));
            *out++ = char(0x80 | (c & 0x3f));
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t code = QChar::surrogateToUcs4(c, text[++i].unicode());
            *out++ = char(0xf0 | (code >> 18));
            *out++ = char(0x80 | ((code >> 12) & 0x3f));
            *out++ = char(0x80 | ((code >> 6) & 0x3f));
            *out++ = char(0x80 | (code & 0x3f));
        } else {
            // A lone surrogate has no UTF-8 form. The escape reads back as the same unit.
            escape(c);
        }
    }
    *out++ = '"';
    m_size = out - m_bytes.constData();
}
