#pragma once

#include <QString>
#include <QStringView>

// A value as the `linkherd` tool prints it in a record: one record a line, its fields separated by tabs. Tabs,
// line breaks and every other control character show as escapes, so no value ends a field or a record early or
// sends a terminal its commands: \t, \n and \r as in C; the other C0 controls, DEL and the C1 controls as \xNN;
// the Unicode line and paragraph separators as \u2028 and \u2029. A backslash stays as it is (expressions are full
// of them), so the escapes are for reading, not for decoding.
QString recordField(QStringView text);
