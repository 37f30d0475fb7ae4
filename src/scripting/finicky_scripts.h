#pragma once

#include <QString>

// The scripts evaluated next to a Finicky configuration.
namespace FinickyScripts {

// The stand-in for Finicky's runtime, evaluated before the configuration: the `module`/`exports` pair, the
// `finicky` functions configurations call, and `__lhExtract()`, which reduces the exported object to plain data.
const QString& shim();

// Evaluated after the configuration, before `__lhExtract()`. Keeps what the shim turns into text but Linkherd
// can use (a regular expression in a host name list) and defines `__lhExtras()`, which reports what the shim
// drops without a trace (a default browser chosen by a function, handlers that rewrite their link).
const QString& extensions();

} // namespace FinickyScripts
