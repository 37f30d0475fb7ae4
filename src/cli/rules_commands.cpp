#include "rules_commands.h"

#include "base/record_field.h"
#include "command_arguments.h"
#include "routing/link_parts.h"
#include "routing/rule_evaluation.h"
#include "routing/rules_codec.h"

using namespace Qt::StringLiterals;

int runResolve(const CliContext& context, const CommandArguments& arguments)
{
    if (!LinkParts::hasScheme(arguments.positional.front()))
        return context.usageError(u"Give resolve a URL, as text."_s);
    const Result<RulesDocument> document = context.loadRules();
    if (!document)
        return context.failure(document.error());

    // As the rules stand, without cleaning: the same decision the automation interface reports.
    const Decision decision =
        decide(document->rules, document->fallback, arguments.positional.front(), arguments.values.value(u"--from"_s));
    context.out << (decision.destination.isAsk() ? u"ask"_s : recordField(decision.destination.desktopID())) << '\n';
    if (arguments.flags.contains(u"--explain"_s)) {
        if (decision.ruleIndex) {
            const Rule& rule = document->rules[*decision.ruleIndex];
            context.out << "rule " << (*decision.ruleIndex + 1) << ": " << recordField(rule.summary()) << '\n';
        } else {
            context.out << "fallback\n";
        }
    }
    return ExitCode::success;
}

int runClean(const CliContext& context, const CommandArguments& arguments)
{
    const Result<RulesDocument> document = context.loadRules();
    if (!document)
        return context.failure(document.error());
    const LinkRewriter rewriter = document->rewriter.value_or(LinkRewriter::initial());
    QList<LinkRewriter::Step> steps;
    context.out << recordField(rewriter.apply(arguments.positional.front(), &steps)) << '\n';
    if (!arguments.flags.contains(u"--explain"_s))
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

int runRules(const CliContext& context, const CommandArguments& /*arguments*/)
{
    const Result<RulesDocument> document = context.loadRules();
    if (!document)
        return context.failure(document.error());
    const RulesDocument written =
        RulesDocument::make(document->rules, document->fallback, document->rewriter.value_or(LinkRewriter::initial()));
    context.out << QString::fromUtf8(RulesCodec::encode(written));
    return ExitCode::success;
}
