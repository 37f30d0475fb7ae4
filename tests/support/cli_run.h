#pragma once

#include "cli/cli.h"

#include <QString>
#include <QStringList>
#include <QTest>
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

// Runs the tool in-process and compares its exit status and both outputs; a QTest failure names the first that
// differs. Callers return when QTest::currentTestFailed().
inline void expectCli(const QStringList& arguments, int status, const QString& out, const QString& err,
                      const QString& defaultRulesPath, const CliServices& services = {})
{
    const CliRun result = runCliInProcess(arguments, defaultRulesPath, services);
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);
}
