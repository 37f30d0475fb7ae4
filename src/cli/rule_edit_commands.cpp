#include "rule_edit_commands.h"

#include "base/record_field.h"
#include "browsers/browsers.h"
#include "command_arguments.h"
#include "services/rule_commands.h"

using namespace Qt::StringLiterals;

namespace {

using Fields = RuleCommands::RuleFields;
using Error = RuleCommands::Error;

// A wrong request (a pattern that is not valid, an id prefix too short) is a usage error; a rule that is not
// there, or a file that cannot be read or written, is work that could not be done.
int report(const CliContext& context, const Error& error)
{
    if (error.kind == Error::Kind::invalidRule || error.kind == Error::Kind::invalidArgument)
        return context.usageError(error.text);
    return context.failure(error.text);
}

// As a field of a record: escaped (recordField).
QString destinationText(const Destination& destination)
{
    if (destination.isAsk())
        return u"ask"_s;
    const QString text =
        destination.profile() ? destination.bundleID() + u'/' + *destination.profile() : destination.bundleID();
    return recordField(text);
}

// A browser that is not installed is taken (it may be installed later, or on another machine that shares the
// file) but the user is told.
void warnWhenNotInstalled(const CliContext& context, const QString& browser)
{
    if (context.services.catalog && !browser.isEmpty() && !Browsers::browser(browser))
        context.err << "linkherd: warning: no installed browser has the ID " << browser << Qt::endl;
}

// A positive whole number, as the tool counts positions.
std::optional<qsizetype> position(const QString& text)
{
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || number < 1)
        return std::nullopt;
    return static_cast<qsizetype>(number - 1);
}

// --host, --contains, --regex (one at most) into fields; an error text for a wrong combination.
std::optional<QString> takeMatch(const CommandArguments& parsed, Fields& fields, bool required)
{
    const std::pair<const char16_t*, Rule::Match> kinds[] = {
        {u"--host", Rule::Match::host}, {u"--contains", Rule::Match::urlContains}, {u"--regex", Rule::Match::regex}};
    int given = 0;
    for (const auto& [option, match] : kinds) {
        const QString name = QString::fromUtf16(option);
        if (!parsed.values.contains(name))
            continue;
        ++given;
        fields.match = match;
        fields.pattern = parsed.values.value(name);
    }
    if (given > 1)
        return u"give one of --host, --contains and --regex"_s;
    if (given == 0 && required)
        return u"give the pattern with --host, --contains or --regex"_s;
    return std::nullopt;
}

// --in ID [--profile DIR] [--window usual|new|private] or --ask into fields.
std::optional<QString> takeDestination(const CommandArguments& parsed, Fields& fields, bool required)
{
    const bool in = parsed.values.contains(u"--in"_s);
    const bool ask = parsed.flags.contains(u"--ask"_s);
    if (in && ask)
        return u"--in and --ask exclude each other"_s;
    if (parsed.values.contains(u"--profile"_s) && !in)
        return u"--profile goes with --in"_s;
    if (parsed.values.contains(u"--window"_s) && !in)
        return u"--window goes with --in"_s;
    if (!in && !ask) {
        if (required)
            return u"give the destination with --in or --ask"_s;
        return std::nullopt;
    }
    fields.browser = ask ? QString() : parsed.values.value(u"--in"_s);
    fields.profile = parsed.values.value(u"--profile"_s);
    fields.window = Destination::Window::usual;
    if (parsed.values.contains(u"--window"_s)) {
        fields.window = windowFromKeyword(parsed.values.value(u"--window"_s));
        if (!fields.window)
            return u"--window takes usual, new or private"_s;
    }
    if (in && fields.browser->isEmpty())
        return u"--in needs a browser ID"_s;
    return std::nullopt;
}

int runList(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(arguments, {}, {});
    if (!parsed)
        return context.usageError(parsed.error());
    if (!parsed->positional.isEmpty())
        return context.usageError(u"rules list takes no arguments"_s);
    const auto rules = RuleCommands::onFile(context.rulesPath).list();
    if (!rules)
        return report(context, rules.error());
    for (qsizetype index = 0; index < rules->size(); ++index) {
        const Rule& rule = rules->at(index);
        context.out << (index + 1) << '\t' << RuleCommands::idText(rule.id) << '\t' << (rule.isEnabled ? "on" : "off")
                    << '\t' << matchText(rule.match) << '\t' << recordField(rule.pattern) << '\t'
                    << destinationText(rule.destination) << '\t' << recordField(rule.sourceBundleIDs.join(u','))
                    << '\n';
    }
    return ExitCode::success;
}

int runAdd(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(
        arguments, {u"--ask"_s, u"--off"_s},
        {u"--host"_s, u"--contains"_s, u"--regex"_s, u"--in"_s, u"--profile"_s, u"--window"_s, u"--at"_s},
        {u"--from"_s});
    if (!parsed)
        return context.usageError(parsed.error());
    if (!parsed->positional.isEmpty())
        return context.usageError(u"rules add takes options only"_s);
    Fields fields;
    if (const auto wrong = takeMatch(*parsed, fields, true))
        return context.usageError(*wrong);
    if (const auto wrong = takeDestination(*parsed, fields, true))
        return context.usageError(*wrong);
    if (parsed->lists.contains(u"--from"_s))
        fields.sourceApps = parsed->lists.value(u"--from"_s);
    if (parsed->flags.contains(u"--off"_s))
        fields.enabled = false;
    qsizetype at = -1;
    if (parsed->values.contains(u"--at"_s)) {
        const std::optional<qsizetype> given = position(parsed->values.value(u"--at"_s));
        if (!given)
            return context.usageError(u"--at needs a position, counted from 1"_s);
        at = *given;
    }
    const auto added = RuleCommands::onFile(context.rulesPath).add(fields, at);
    if (!added)
        return report(context, added.error());
    warnWhenNotInstalled(context, fields.browser.value_or(QString()));
    context.out << RuleCommands::idText(added->id) << '\n';
    return ExitCode::success;
}

int runSet(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(
        arguments, {u"--ask"_s, u"--any-app"_s, u"--on"_s, u"--off"_s},
        {u"--host"_s, u"--contains"_s, u"--regex"_s, u"--in"_s, u"--profile"_s, u"--window"_s}, {u"--from"_s});
    if (!parsed)
        return context.usageError(parsed.error());
    if (parsed->positional.size() != 1)
        return context.usageError(u"rules set takes one rule ID"_s);
    Fields fields;
    if (const auto wrong = takeMatch(*parsed, fields, false))
        return context.usageError(*wrong);
    if (const auto wrong = takeDestination(*parsed, fields, false))
        return context.usageError(*wrong);
    const bool anyApp = parsed->flags.contains(u"--any-app"_s);
    if (anyApp && parsed->lists.contains(u"--from"_s))
        return context.usageError(u"--from and --any-app exclude each other"_s);
    if (anyApp)
        fields.sourceApps = QStringList();
    else if (parsed->lists.contains(u"--from"_s))
        fields.sourceApps = parsed->lists.value(u"--from"_s);
    const bool on = parsed->flags.contains(u"--on"_s);
    const bool off = parsed->flags.contains(u"--off"_s);
    if (on && off)
        return context.usageError(u"--on and --off exclude each other"_s);
    if (on || off)
        fields.enabled = on;
    if (!fields.match && !fields.browser && !fields.sourceApps && !fields.enabled)
        return context.usageError(u"rules set needs something to change"_s);
    const auto updated = RuleCommands::onFile(context.rulesPath).update(parsed->positional.front(), fields);
    if (!updated)
        return report(context, updated.error());
    warnWhenNotInstalled(context, fields.browser.value_or(QString()));
    return ExitCode::success;
}

int runRemove(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(arguments, {}, {});
    if (!parsed)
        return context.usageError(parsed.error());
    if (parsed->positional.isEmpty())
        return context.usageError(u"rules rm takes rule IDs"_s);
    if (const auto removed = RuleCommands::onFile(context.rulesPath).remove(parsed->positional); !removed)
        return report(context, removed.error());
    return ExitCode::success;
}

int runMove(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(arguments, {}, {});
    if (!parsed)
        return context.usageError(parsed.error());
    if (parsed->positional.size() != 2)
        return context.usageError(u"rules mv takes a rule ID and a position"_s);
    const std::optional<qsizetype> to = position(parsed->positional[1]);
    if (!to)
        return context.usageError(u"the position counts from 1"_s);
    if (const auto moved = RuleCommands::onFile(context.rulesPath).move(parsed->positional[0], *to); !moved)
        return report(context, moved.error());
    return ExitCode::success;
}

std::optional<bool> onOff(const QString& text)
{
    if (text == u"on"_s)
        return true;
    if (text == u"off"_s)
        return false;
    return std::nullopt;
}

} // namespace

int runRulesVerb(const CliContext& context, const QString& verb, const QStringList& arguments)
{
    if (verb == u"list"_s)
        return runList(context, arguments);
    if (verb == u"add"_s)
        return runAdd(context, arguments);
    if (verb == u"set"_s)
        return runSet(context, arguments);
    if (verb == u"rm"_s)
        return runRemove(context, arguments);
    if (verb == u"mv"_s)
        return runMove(context, arguments);
    return context.usageError(u"unknown rules command "_s + verb);
}

int runFallback(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed =
        CommandArguments::parse(arguments, {u"--ask"_s}, {u"--in"_s, u"--profile"_s, u"--window"_s});
    if (!parsed)
        return context.usageError(parsed.error());
    if (!parsed->positional.isEmpty())
        return context.usageError(u"fallback takes options only"_s);
    Fields fields;
    if (const auto wrong = takeDestination(*parsed, fields, false))
        return context.usageError(*wrong);
    RuleCommands commands = RuleCommands::onFile(context.rulesPath);
    if (!fields.browser) {
        const auto document = commands.document();
        if (!document)
            return report(context, document.error());
        context.out << destinationText(document->fallback) << '\n';
        return ExitCode::success;
    }
    const Destination fallback =
        fields.browser->isEmpty()
            ? Destination::ask()
            : Destination::browser(*fields.browser,
                                   fields.profile->isEmpty() ? std::nullopt : std::optional<QString>(*fields.profile),
                                   fields.window.value_or(Destination::Window::usual));
    if (const auto set = commands.setFallback(fallback); !set)
        return report(context, set.error());
    warnWhenNotInstalled(context, *fields.browser);
    return ExitCode::success;
}

int runCleaning(const CliContext& context, const QStringList& arguments)
{
    const Result<CommandArguments> parsed = CommandArguments::parse(
        arguments, {u"--default-parameters"_s}, {u"--strip"_s, u"--https"_s, u"--unwrap"_s, u"--parameters"_s});
    if (!parsed)
        return context.usageError(parsed.error());
    if (!parsed->positional.isEmpty())
        return context.usageError(u"cleaning takes options only"_s);
    RuleCommands::CleaningFields fields;
    for (const auto& [option, field] :
         {std::pair{u"--strip"_s, &fields.stripsTrackingParameters}, std::pair{u"--https"_s, &fields.upgradesToHTTPS},
          std::pair{u"--unwrap"_s, &fields.unwrapsRedirects}}) {
        if (!parsed->values.contains(option))
            continue;
        *field = onOff(parsed->values.value(option));
        if (!*field)
            return context.usageError(option + u" takes on or off"_s);
    }
    const bool defaults = parsed->flags.contains(u"--default-parameters"_s);
    if (defaults && parsed->values.contains(u"--parameters"_s))
        return context.usageError(u"--parameters and --default-parameters exclude each other"_s);
    if (defaults) {
        fields.parameters = LinkRewriter::defaultParameters();
    } else if (parsed->values.contains(u"--parameters"_s)) {
        QStringList names;
        for (const QString& name : parsed->values.value(u"--parameters"_s).split(u','))
            if (!name.trimmed().isEmpty())
                names.append(name.trimmed());
        fields.parameters = names;
    }

    RuleCommands commands = RuleCommands::onFile(context.rulesPath);
    LinkRewriter rewriter;
    if (fields.stripsTrackingParameters || fields.upgradesToHTTPS || fields.unwrapsRedirects || fields.parameters) {
        const auto changed = commands.changeCleaning(fields);
        if (!changed)
            return report(context, changed.error());
        rewriter = *changed;
    } else {
        const auto document = commands.document();
        if (!document)
            return report(context, document.error());
        rewriter = document->rewriter.value_or(LinkRewriter::initial());
    }
    context.out << "strip\t" << (rewriter.stripsTrackingParameters ? "on" : "off") << '\n'
                << "https\t" << (rewriter.upgradesToHTTPS ? "on" : "off") << '\n'
                << "parameters\t" << recordField(rewriter.parameters.join(u',')) << '\n'
                << "unwrap\t" << (rewriter.unwrapsRedirects ? "on" : "off") << '\n';
    return ExitCode::success;
}
