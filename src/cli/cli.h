#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

// Runs one `linkherd` command line (without the program name) and returns its exit code. The rules file is
// `defaultRulesPath` unless the command line names another with --rules.
int runCli(const QStringList& arguments, QTextStream& out, QTextStream& err, const QString& defaultRulesPath);

QString cliHelpText();
