#include "record_field.h"

using namespace Qt::StringLiterals;

namespace {

bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

} // namespace

QString recordField(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar character : text) {
        const char16_t c = character.unicode();
        if (!needsEscape(c)) {
            shown.append(character);
        } else if (c == u'\t') {
            shown.append(u"\\t"_s);
        } else if (c == u'\n') {
            shown.append(u"\\n"_s);
        } else if (c == u'\r') {
            shown.append(u"\\r"_s);
        } else if (c > 0xff) {
            shown.append(u"\\u%1"_s.arg(int(c), 4, 16, QChar(u'0')));
        } else {
            shown.append(u"\\x%1"_s.arg(int(c), 2, 16, QChar(u'0')));
        }
    }
    return shown;
}
