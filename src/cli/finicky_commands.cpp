#include "finicky_commands.h"

#include "base/atomic_file.h"
#include "base/record_field.h"
#include "command_arguments.h"
#include "finicky_import_command.h"
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

int runFinickyLocate(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(arguments, {}, {});
    if (!parsed)
        return context.usageError(parsed.error());
    if (!parsed->positional.isEmpty())
        return context.usageError(u"finicky locate takes no arguments"_s);
    const std::optional<QString> path = FinickyConfig::locateExisting();
    if (!path) {
        return context.failure(u"no Finicky configuration found (looked for ~/.finicky.js, "
                               u"~/.config/finicky/finicky.js and ~/.config/finicky/finicky.ts)"_s);
    }
    context.out << recordField(*path) << '\n';
    return ExitCode::success;
}

int runFinickyExport(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(arguments, {}, {u"--output"_s});
    if (!parsed)
        return context.usageError(parsed.error());
    if (!parsed->positional.isEmpty())
        return context.usageError(u"finicky export takes no arguments besides --output FILE"_s);
    const bool toFile = parsed->values.contains(u"--output"_s);
    const QString output = parsed->values.value(u"--output"_s);
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

} // namespace

int runFinicky(const CliContext& context, const QStringList& arguments)
{
    if (arguments.isEmpty())
        return context.usageError(u"finicky needs a command: locate, import or export"_s);
    const QString command = arguments.front();
    if (command == u"locate"_s)
        return runFinickyLocate(context, arguments.mid(1));
    if (command == u"import"_s)
        return runFinickyImport(context, arguments.mid(1));
    if (command == u"export"_s)
        return runFinickyExport(context, arguments.mid(1));
    return context.usageError(u"unknown finicky command "_s + command);
}
