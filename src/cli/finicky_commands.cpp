#include "finicky_commands.h"

#include "base/atomic_file.h"
#include "base/record_field.h"
#include "command_arguments.h"
#include "interchange/finicky_config.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// Whether two paths name the same existing file, links and relative paths resolved.
bool isSameFile(const QString& a, const QString& b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

int runFinickyLocate(const CliContext& context, const CommandArguments& /*arguments*/)
{
    const std::optional<QString> path = FinickyConfig::locateExisting();
    if (!path) {
        return context.failure(u"no Finicky configuration found (looked for ~/.finicky.js, "
                               u"~/.config/finicky/finicky.js and ~/.config/finicky/finicky.ts)"_s);
    }
    context.out << recordField(*path) << '\n';
    return ExitCode::success;
}

int runFinickyExport(const CliContext& context, const CommandArguments& arguments)
{
    const bool toFile = arguments.values.contains(u"--output"_s);
    const QString output = arguments.values.value(u"--output"_s);
    if (toFile && output.isEmpty())
        return context.usageError(u"--output needs a file"_s);
    // A slip of the shell's history would otherwise replace the rules with a file Linkherd cannot read.
    if (toFile && isSameFile(output, context.rulesPath))
        return context.failure(u"%1 is the rules file; choose another file to export to"_s.arg(output));

    const Result<RulesDocument> document = context.loadRules();
    if (!document)
        return context.failure(document.error());
    const QString text = FinickyConfig::exportConfig(document->rules, document->fallback);
    if (!toFile) {
        context.out << text;
        return ExitCode::success;
    }
    if (const Result<void> written = writeFileAtomically(output, text.toUtf8()); !written)
        return context.failure(output + u": "_s + written.error());
    return ExitCode::success;
}
