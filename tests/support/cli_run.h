#pragma once

#include "cli/cli.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

// The `linkherd` tool run in-process, as a test sees it: its exit status and what it printed.
struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

inline CliRun runCliInProcess(const QStringList& arguments, const QString& defaultRulesPath,
                              const CliServices& services = {})
{
    CliRun result;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    result.status = runCli(arguments, out, err, defaultRulesPath, services);
    out.flush();
    err.flush();
    return result;
}
