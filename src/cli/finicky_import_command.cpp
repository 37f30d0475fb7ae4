#include "base/bounded_file.h"
#include "command_arguments.h"
#include "interchange/finicky_report.h"
#include "finicky_commands.h"
#include "interchange/finicky_config.h"
#include "routing/rules_codec.h"
#include "routing/rules_file.h"
#include "scripting/finicky_evaluation.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {

// The whole file as text; a file that is not UTF-8 is refused rather than imported with replacement characters.
Result<QString, FinickyConfig::ImportError> readConfiguration(const QString& path)
{
    const Result<QByteArray> bytes = BoundedFile::read(path, BoundedFile::finickyConfigLimit);
    if (!bytes)
        return FinickyConfig::ImportError::unreadable(bytes.error());
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return FinickyConfig::ImportError::unreadable(u"the file is not UTF-8 text"_s);
    return text;
}

QString countOfRules(qsizetype count)
{
    return count == 1 ? u"1 rule"_s : QString::number(count) + u" rules"_s;
}

QString destinationText(const Destination& destination)
{
    if (destination.isAsk())
        return u"“Ask every time”"_s;
    return destination.profile() ? destination.desktopID() + u" (profile "_s + *destination.profile() + u')'
                                 : destination.desktopID();
}

} // namespace

int runFinickyImport(const CliContext& context, const CommandArguments& arguments)
{
    const bool adds = arguments.flags.contains(u"--add"_s);
    const bool replaces = arguments.flags.contains(u"--replace"_s);
    if (adds && replaces)
        return context.usageError(u"--add and --replace exclude each other"_s);

    // The rules file is read first: when it cannot be read, nothing is imported into it.
    const bool edits = adds || replaces;
    if (edits) {
        if (const Result<RulesDocument> loaded = context.loadRules(); !loaded)
            return context.failure(loaded.error());
    }

    const Result<QString, FinickyConfig::ImportError> text = readConfiguration(arguments.positional.front());
    if (!text)
        return context.failure(text.error().description());
    const Result<FinickyConfig::Imported, FinickyConfig::ImportError> result = FinickyEvaluation::parse(*text);
    if (!result)
        return context.failure(result.error().description());
    const FinickyConfig::Imported& imported = *result;

    if (!edits) {
        context.out << QString::fromUtf8(FinickyConfig::writeReport(imported));
        return ExitCode::success;
    }

    QString summary;
    const Result<QByteArray> saved = RulesFile::edit(context.rulesPath, [&](RulesDocument& document) -> Result<void> {
        if (adds) {
            document.rules.append(imported.rules);
            summary = u"Added "_s + countOfRules(imported.rules.size()) + u'.';
            return {};
        }
        document.rules = imported.rules;
        summary = u"Replaced the rules with "_s + countOfRules(imported.rules.size());
        if (imported.fallback) {
            document.fallback = *imported.fallback;
            summary += u"; the fallback is now "_s + destinationText(*imported.fallback);
        }
        summary += u'.';
        return {};
    });
    if (!saved)
        return context.failure(saved.error());
    context.out << summary << '\n';
    for (const QString& note : imported.notes)
        context.err << "note: " << note << '\n';
    return ExitCode::success;
}
