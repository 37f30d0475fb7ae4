#pragma once

#include <QString>
#include <QStringView>

// Text from outside (a value in a file, an exception a script threw, a link) shown in a message: at most
// maxLength characters, the middle replaced by an ellipsis, so that both ends stay readable. Surrogate pairs
// are never split.
QString elidedText(QStringView text, qsizetype maxLength);
