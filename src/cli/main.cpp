#include "cli/cli.h"
#include "routing/rules_file.h"

#include <QCoreApplication>


int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("linkherd"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int status = runCli(arguments, out, err, RulesFile::defaultPath());
    out.flush();
    err.flush();
    return status;
}
