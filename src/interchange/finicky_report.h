#pragma once

#include "finicky_config.h"

#include <QByteArray>

// What `linkherd finicky import FILE` prints and the rules window reads from the tool it starts:
// {"fallback": …, "notes": […], "rules": […]}, the fallback (or null) and the rules as the rules file holds them.
namespace FinickyConfig {

QByteArray writeReport(const Imported& imported);

// The report as writeReport made it; anything else (another program's output, a report cut short) fails with
// what is wrong with it.
Result<Imported> readReport(const QByteArray& report);

} // namespace FinickyConfig
