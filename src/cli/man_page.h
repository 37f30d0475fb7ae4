#pragma once

#include <QString>

// linkherd(1), in roff, made from the command table.
QString manPage(const QString& version);
