#pragma once

#include <QChar>

// The value of an ASCII hexadecimal digit, either case; -1 for anything else. For reading escapes (\xNN in
// systemd unit names and in regular expressions).
constexpr int hexDigitValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}
