#pragma once

#include <QString>

// The order of names that people see (browsers, profiles): the user's language, case ignored, numbers by
// value, so "Profile 2" comes before "Profile 10". The collator is created once per process, for the
// system locale at that moment.
bool localizedLessThan(const QString& a, const QString& b);
