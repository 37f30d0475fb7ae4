// Writes the man page and the shell completions of `linkherd`, made from its command table, into a folder: run
// when building, so that they say what the tool does.
#include "app_info.h"
#include "base/atomic_file.h"
#include "man_page.h"
#include "shell_completions.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs("usage: linkherd-generate-docs FOLDER\n", stderr);
        return 2;
    }
    const QDir folder(arguments[1]);
    const std::pair<const char*, QString> files[] = {
        {"linkherd.1", manPage(QString::fromLatin1(AppInfo::version))},
        {"linkherd.bash", ShellCompletions::bash()},
        {"_linkherd", ShellCompletions::zsh()},
        {"linkherd.fish", ShellCompletions::fish()},
    };
    for (const auto& [name, text] : files) {
        const QString path = folder.filePath(QString::fromLatin1(name));
        if (const Result<void> written = writeFileAtomically(path, text.toUtf8()); !written) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(written.error()));
            return 1;
        }
    }
    return 0;
}
