#include "rules_commands.h"

#include "base/record_field.h"
#include "command_arguments.h"
#include "routing/link_parts.h"
#include "routing/rule_evaluation.h"
#include "routing/rules_codec.h"
#include "rule_edit_commands.h"

using namespace Qt::StringLiterals;

int runResolve(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(arguments, {u"--explain"_s}, {u"--from"_s});
    if (!parsed)
        return context.usageError(parsed.error());
    if (parsed->positional.size() != 1 || !LinkParts::hasScheme(parsed->positional.front()))
        return context.usageError(u"Give resolve a URL, as text."_s);
    const Result<RulesDocument> document = context.loadRules();
    if (!document)
        return context.failure(document.error());

    // As the rules stand, without cleaning: the same decision the automation interface reports.
    const Decision decision =
        decide(document->rules, document->fallback, parsed->positional.front(), parsed->values.value(u"--from"_s));
    context.out << (decision.destination.isAsk() ? u"ask"_s : recordField(decision.destination.bundleID())) << '\n';
    if (parsed->flags.contains(u"--explain"_s)) {
        if (decision.ruleIndex) {
            const Rule& rule = document->rules[*decision.ruleIndex];
            context.out << "rule " << (*decision.ruleIndex + 1) << ": " << recordField(rule.summary()) << '\n';
        } else {
            context.out << "fallback\n";
        }
    }
    return ExitCode::success;
}

int runClean(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(arguments, {u"--explain"_s}, {});
    if (!parsed)
        return context.usageError(parsed.error());
    if (parsed->positional.size() != 1)
        return context.usageError(u"Give clean a URL, as text."_s);
    const Result<RulesDocument> document = context.loadRules();
    if (!document)
        return context.failure(document.error());
    const LinkRewriter rewriter = document->rewriter.value_or(LinkRewriter::initial());
    QList<LinkRewriter::Step> steps;
    context.out << recordField(rewriter.apply(parsed->positional.front(), &steps)) << '\n';
    if (!parsed->flags.contains(u"--explain"_s))
        return ExitCode::success;
    for (const LinkRewriter::Step& step : steps) {
        switch (step.kind) {
        case LinkRewriter::Step::Kind::unwrap:
            context.out << "unwrap\t" << recordField(step.detail) << '\n';
            break;
        case LinkRewriter::Step::Kind::https:
            context.out << "https\n";
            break;
        case LinkRewriter::Step::Kind::strip:
            context.out << "strip\t" << recordField(step.detail) << '\n';
            break;
        }
    }
    return ExitCode::success;
}

int runRules(const CliContext& context, const QStringList& arguments)
{
    if (!arguments.isEmpty() && !arguments.front().startsWith(u'-'))
        return runRulesVerb(context, arguments.front(), arguments.mid(1));
    const Result<CommandArguments> parsed = CommandArguments::parse(arguments, {}, {});
    if (!parsed)
        return context.usageError(parsed.error());
    if (!parsed->positional.isEmpty())
        return context.usageError(u"rules takes no arguments"_s);
    const Result<RulesDocument> document = context.loadRules();
    if (!document)
        return context.failure(document.error());
    const RulesDocument written =
        RulesDocument::make(document->rules, document->fallback, document->rewriter.value_or(LinkRewriter::initial()));
    context.out << QString::fromUtf8(RulesCodec::encode(written));
    return ExitCode::success;
}
