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
        destination.profile() ? destination.desktopID() + u'/' + *destination.profile() : destination.desktopID();
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
std::optional<QString> takeMatch(const CommandArguments& arguments, Fields& fields, bool required)
{
    const std::pair<const char16_t*, Rule::Match> kinds[] = {
        {u"--host", Rule::Match::host}, {u"--contains", Rule::Match::urlContains}, {u"--regex", Rule::Match::regex}};
    int given = 0;
    for (const auto& [option, match] : kinds) {
        const QString name = QString::fromUtf16(option);
        if (!arguments.values.contains(name))
            continue;
        ++given;
        fields.match = match;
        fields.pattern = arguments.values.value(name);
    }
    if (given > 1)
        return u"give one of --host, --contains and --regex"_s;
    if (given == 0 && required)
        return u"give the pattern with --host, --contains or --regex"_s;
    return std::nullopt;
}

// --in ID [--profile DIR] [--window usual|new|private] or --ask into fields.
std::optional<QString> takeDestination(const CommandArguments& arguments, Fields& fields, bool required)
{
    const bool in = arguments.values.contains(u"--in"_s);
    const bool ask = arguments.flags.contains(u"--ask"_s);
    if (in && ask)
        return u"--in and --ask exclude each other"_s;
    if (arguments.values.contains(u"--profile"_s) && !in)
        return u"--profile goes with --in"_s;
    if (arguments.values.contains(u"--window"_s) && !in)
        return u"--window goes with --in"_s;
    if (!in && !ask) {
        if (required)
            return u"give the destination with --in or --ask"_s;
        return std::nullopt;
    }
    fields.browser = ask ? QString() : arguments.values.value(u"--in"_s);
    fields.profile = arguments.values.value(u"--profile"_s);
    fields.window = Destination::Window::usual;
    if (arguments.values.contains(u"--window"_s)) {
        fields.window = windowFromKeyword(arguments.values.value(u"--window"_s));
        if (!fields.window)
            return u"--window takes usual, new or private"_s;
    }
    if (in && fields.browser->isEmpty())
        return u"--in needs a browser ID"_s;
    return std::nullopt;
}

} // namespace

int runRulesList(const CliContext& context, const CommandArguments& /*arguments*/)
{
    const auto rules = RuleCommands::onFile(context.rulesPath).list();
    if (!rules)
        return report(context, rules.error());
    for (qsizetype index = 0; index < rules->size(); ++index) {
        const Rule& rule = rules->at(index);
        context.out << (index + 1) << '\t' << RuleCommands::idText(rule.id) << '\t' << (rule.isEnabled ? "on" : "off")
                    << '\t' << matchText(rule.match) << '\t' << recordField(rule.pattern) << '\t'
                    << destinationText(rule.destination) << '\t' << recordField(rule.sourceDesktopIDs.join(u','))
                    << '\n';
    }
    return ExitCode::success;
}

int runRulesAdd(const CliContext& context, const CommandArguments& arguments)
{
    Fields fields;
    if (const auto wrong = takeMatch(arguments, fields, true))
        return context.usageError(*wrong);
    if (const auto wrong = takeDestination(arguments, fields, true))
        return context.usageError(*wrong);
    if (arguments.lists.contains(u"--from"_s))
        fields.sourceApps = arguments.lists.value(u"--from"_s);
    if (arguments.flags.contains(u"--off"_s))
        fields.enabled = false;
    qsizetype at = -1;
    if (arguments.values.contains(u"--at"_s)) {
        const std::optional<qsizetype> given = position(arguments.values.value(u"--at"_s));
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

int runRulesSet(const CliContext& context, const CommandArguments& arguments)
{
    Fields fields;
    if (const auto wrong = takeMatch(arguments, fields, false))
        return context.usageError(*wrong);
    if (const auto wrong = takeDestination(arguments, fields, false))
        return context.usageError(*wrong);
    const bool anyApp = arguments.flags.contains(u"--any-app"_s);
    if (anyApp && arguments.lists.contains(u"--from"_s))
        return context.usageError(u"--from and --any-app exclude each other"_s);
    if (anyApp)
        fields.sourceApps = QStringList();
    else if (arguments.lists.contains(u"--from"_s))
        fields.sourceApps = arguments.lists.value(u"--from"_s);
    const bool on = arguments.flags.contains(u"--on"_s);
    const bool off = arguments.flags.contains(u"--off"_s);
    if (on && off)
        return context.usageError(u"--on and --off exclude each other"_s);
    if (on || off)
        fields.enabled = on;
    if (!fields.match && !fields.browser && !fields.sourceApps && !fields.enabled)
        return context.usageError(u"rules set needs something to change"_s);
    const auto updated = RuleCommands::onFile(context.rulesPath).update(arguments.positional.front(), fields);
    if (!updated)
        return report(context, updated.error());
    warnWhenNotInstalled(context, fields.browser.value_or(QString()));
    return ExitCode::success;
}

int runRulesRemove(const CliContext& context, const CommandArguments& arguments)
{
    if (const auto removed = RuleCommands::onFile(context.rulesPath).remove(arguments.positional); !removed)
        return report(context, removed.error());
    return ExitCode::success;
}

int runRulesMove(const CliContext& context, const CommandArguments& arguments)
{
    const std::optional<qsizetype> to = position(arguments.positional[1]);
    if (!to)
        return context.usageError(u"the position counts from 1"_s);
    if (const auto moved = RuleCommands::onFile(context.rulesPath).move(arguments.positional[0], *to); !moved)
        return report(context, moved.error());
    return ExitCode::success;
}

namespace {

std::optional<bool> onOff(const QString& text)
{
    if (text == u"on"_s)
        return true;
    if (text == u"off"_s)
        return false;
    return std::nullopt;
}

} // namespace

int runFallback(const CliContext& context, const CommandArguments& arguments)
{
    Fields fields;
    if (const auto wrong = takeDestination(arguments, fields, false))
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

int runCleaning(const CliContext& context, const CommandArguments& arguments)
{
    RuleCommands::CleaningFields fields;
    for (const auto& [option, field] :
         {std::pair{u"--strip"_s, &fields.stripsTrackingParameters}, std::pair{u"--https"_s, &fields.upgradesToHTTPS},
          std::pair{u"--unwrap"_s, &fields.unwrapsRedirects}}) {
        if (!arguments.values.contains(option))
            continue;
        *field = onOff(arguments.values.value(option));
        if (!*field)
            return context.usageError(option + u" takes on or off"_s);
    }
    const bool defaults = arguments.flags.contains(u"--default-parameters"_s);
    if (defaults && arguments.values.contains(u"--parameters"_s))
        return context.usageError(u"--parameters and --default-parameters exclude each other"_s);
    if (defaults) {
        fields.parameters = LinkRewriter::defaultParameters();
    } else if (arguments.values.contains(u"--parameters"_s)) {
        QStringList names;
        for (const QString& name : arguments.values.value(u"--parameters"_s).split(u','))
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
