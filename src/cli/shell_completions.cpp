#include "shell_completions.h"

#include "command.h"

using namespace Qt::StringLiterals;

namespace {

// How the shell scripts name a kind of value: "file", "browser", "rule", "choice:on off" or "text".
QString kindWord(ValueKind kind, const QStringList& choices = {})
{
    switch (kind) {
    case ValueKind::file:
        return u"file"_s;
    case ValueKind::browser:
        return u"browser"_s;
    case ValueKind::rule:
        return u"rule"_s;
    case ValueKind::choice:
        return u"choice:"_s + choices.join(u' ');
    case ValueKind::text:
        break;
    }
    return u"text"_s;
}

// A word in single quotes, for any of the three shells.
QString quoted(QString text)
{
    return u'\'' + text.replace(u'\'', u"'\\''"_s) + u'\'';
}

QStringList toolOptionNames()
{
    QStringList names;
    for (const CommandOption& option : toolOptions())
        names.append(option.name);
    return names;
}

// The first words a command line can start with: "resolve", "rules", "finicky"…
QStringList firstWords()
{
    QStringList words;
    for (const Command& command : commands()) {
        const QString first = command.name.section(u' ', 0, 0);
        if (!words.contains(first))
            words.append(first);
    }
    return words;
}

// The kinds of a command's positional arguments, in order; a last one that repeats ends in "...".
QString positionalKinds(const Command& command)
{
    QStringList kinds;
    for (const CommandPositional& positional : command.positionals) {
        const bool repeats = positional.count == CommandPositional::Count::oneOrMore ||
                             positional.count == CommandPositional::Count::any;
        kinds.append(kindWord(positional.kind) + (repeats ? u"..."_s : QString()));
    }
    return kinds.join(u' ');
}

// The tables the bash and zsh scripts share: each command's options, the kind of each option's value and of its
// positional arguments, the commands under each first word.
QString tables()
{
    QString options = u"    local -A commandOptions=(\n"_s;
    QString values = u"    local -A optionValues=(\n"_s;
    QString positionals = u"    local -A commandPositionals=(\n"_s;
    QString groups = u"    local -A commandGroups=(\n"_s;
    for (const Command& command : commands()) {
        QStringList names{u"--help"_s};
        for (const CommandOption& option : command.options) {
            names.append(option.name);
            if (option.takesValue()) {
                values += u"        [%1]=%2\n"_s.arg(quoted(command.name + u' ' + option.name),
                                                     quoted(kindWord(option.kind, option.choices)));
            }
        }
        options += u"        [%1]=%2\n"_s.arg(quoted(command.name), quoted(names.join(u' ')));
        positionals += u"        [%1]=%2\n"_s.arg(quoted(command.name), quoted(positionalKinds(command)));
    }
    for (const QString& group : commandGroups()) {
        QStringList verbs;
        for (const Command& command : commands()) {
            if (command.name.startsWith(group + u' '))
                verbs.append(command.name.mid(group.size() + 1));
        }
        groups += u"        [%1]=%2\n"_s.arg(quoted(group), quoted(verbs.join(u' ')));
    }
    return options + u"    )\n"_s + values + u"    )\n"_s + positionals + u"    )\n"_s + groups + u"    )\n"_s;
}

// Reads the words before the cursor (`line`, the program's name left out) as the tool will, in the shell
// language bash and zsh (emulating ksh) share. Sets `command` (the command named, "" while none is),
// `group` (its first word, while only that is given, when more commands begin with it), `expects` (what the
// cursor is on: command, subcommand, file, browser, rule, choice:WORDS or text), `isValue` (it is an option's
// value) and `rules` (the --rules option to pass on when asking the tool for rule IDs).
const char16_t* parser = uR"SH(_linkherd_parse() {
    local word key index=0 count=0 last
    local -a kinds
    command="" group="" expects="" isValue=""
    rules=()
    while (( index < ${#line[@]} )); do
        word=${line[index]}
        if [[ -z $command ]]; then
            if [[ $word == --rules ]]; then
                rules=(--rules "${line[index+1]}")
                index=$((index + 2))
            elif [[ $word == --rules=* ]]; then
                rules=("$word")
                index=$((index + 1))
            elif key="$word ${line[index+1]}"; (( index + 1 < ${#line[@]} )) && [[ -n ${commandOptions[$key]+set} ]]; then
                command=$key
                index=$((index + 2))
            else
                command=$word
                [[ -n ${commandGroups[$word]+set} ]] && group=$word
                index=$((index + 1))
            fi
            continue
        fi
        if [[ $word != --* ]]; then
            count=$((count + 1))
        elif key="$command $word"; [[ $word != *=* && -n ${optionValues[$key]+set} ]]; then
            index=$((index + 1))
            if (( index == ${#line[@]} )); then
                expects=${optionValues[$key]}
                isValue=1
                return
            fi
        fi
        index=$((index + 1))
    done
    if [[ -z $command ]]; then
        expects=command
        if (( ${#line[@]} > 0 )) && [[ ${line[${#line[@]}-1]} == --rules ]]; then
            expects=file
            isValue=1
        fi
        return
    fi
    if [[ -n $group && $count == 0 ]]; then
        expects=subcommand
        return
    fi
    group=""
    kinds=(${commandPositionals[$command]})
    last=$(( ${#kinds[@]} - 1 ))
    if (( count <= last )); then
        expects=${kinds[count]}
    elif (( last >= 0 )) && [[ ${kinds[last]} == *... ]]; then
        expects=${kinds[last]}
    else
        expects=text
    fi
    expects=${expects%...}
}
)SH";

} // namespace

namespace ShellCompletions {

QString bash()
{
    QString script = u"# bash completion for linkherd, made from the tool's command table.\n\n"_s;
    script += QString::fromUtf16(parser);
    script += uR"SH(
_linkherd() {
    local current=${COMP_WORDS[COMP_CWORD]} candidates command group expects isValue
    local -a line=("${COMP_WORDS[@]:1:COMP_CWORD-1}") rules
)SH"_s;
    script += tables();
    script += uR"SH(    _linkherd_parse
    if [[ -z $isValue && $current == -* ]]; then
        if [[ $expects == command ]]; then
            candidates="%1"
        else
            candidates=${commandOptions[$command]}
        fi
        COMPREPLY=($(compgen -W "$candidates" -- "$current"))
        return
    fi
    case $expects in
    command) COMPREPLY=($(compgen -W "%2" -- "$current")) ;;
    subcommand) COMPREPLY=($(compgen -W "${commandGroups[$group]}" -- "$current")) ;;
    file)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$current"))
        ;;
    browser) COMPREPLY=($(compgen -W "$(linkherd browsers 2>/dev/null | cut -f1)" -- "$current")) ;;
    rule) COMPREPLY=($(compgen -W "$(linkherd "${rules[@]}" rules list 2>/dev/null | cut -f2)" -- "$current")) ;;
    choice:*) COMPREPLY=($(compgen -W "${expects#choice:}" -- "$current")) ;;
    esac
}
complete -F _linkherd linkherd
)SH"_s.arg(toolOptionNames().join(u' '), firstWords().join(u' '));
    return script;
}

QString zsh()
{
    QString script = u"#compdef linkherd\n# zsh completion for linkherd, made from the tool's command table.\n\n"_s;
    // The parser reads the command line as bash would; the completion itself is zsh's.
    script +=
        QString::fromUtf16(parser).replace(u"_linkherd_parse() {\n"_s, u"_linkherd_parse() {\n    emulate -L ksh\n"_s);
    QString described;
    for (const QString& word : firstWords()) {
        const Command* command = findCommand(word);
        const QString summary = command ? command->summary : word + u" commands"_s;
        described += u"        %1\n"_s.arg(quoted(word + u':' + summary.section(u". "_s, 0, 0)));
    }
    QString subcommands;
    for (const Command& command : commands()) {
        if (command.name.contains(u' ')) {
            subcommands +=
                u"        [%1]=%2\n"_s.arg(quoted(command.name), quoted(command.summary.section(u". "_s, 0, 0)));
        }
    }
    script += uR"SH(
_linkherd() {
    local current=${words[CURRENT]} command group expects isValue verb
    local -a line rules candidates
    line=("${(@)words[2,CURRENT-1]}")
)SH"_s;
    script += tables();
    script += u"    local -a firstWords=(\n"_s + described + u"    )\n"_s;
    script += u"    local -A subcommandHelp=(\n"_s + subcommands + u"    )\n"_s;
    script += uR"SH(    _linkherd_parse
    if [[ -z $isValue && $current == -* ]]; then
        if [[ $expects == command ]]; then
            compadd -- %1
        else
            compadd -- ${=commandOptions[$command]}
        fi
        return
    fi
    case $expects in
    command) _describe -t commands 'linkherd command' firstWords ;;
    subcommand)
        for verb in ${=commandGroups[$group]}; do
            candidates+=("$verb:${subcommandHelp[$group $verb]}")
        done
        _describe -t commands "linkherd $group command" candidates
        ;;
    file) _files ;;
    browser) compadd -- ${(f)"$(linkherd browsers 2>/dev/null | cut -f1)"} ;;
    rule) compadd -- ${(f)"$(linkherd "${rules[@]}" rules list 2>/dev/null | cut -f2)"} ;;
    choice:*) compadd -- ${=expects#choice:} ;;
    esac
}

_linkherd "$@"
)SH"_s.arg(toolOptionNames().join(u' '));
    return script;
}

QString fish()
{
    QStringList names;
    for (const Command& command : commands())
        names.append(quoted(command.name));
    QString script = u"# fish completion for linkherd, made from the tool's command table.\n\n"_s;
    script += uR"SH(# The command named so far ("rules add", "resolve"; "finicky" while only the first word is given).
function __linkherd_command
    set -l known %1
    set -l words (commandline -opc)[2..-1]
    while set -q words[1]
        switch $words[1]
            case --rules
                set -e words[1..2]
            case '--rules=*'
                set -e words[1]
            case '*'
                if set -q words[2]; and contains -- "$words[1] $words[2]" $known
                    echo "$words[1] $words[2]"
                else
                    echo $words[1]
                end
                return
        end
    end
end

function __linkherd_is
    test "$(__linkherd_command)" = "$argv[1]"
end

# The --rules option given, to ask the tool for the IDs of the rules in that file.
function __linkherd_rule_ids
    set -l words (commandline -opc)[2..-1]
    set -l rules
    if test "$words[1]" = --rules
        set rules --rules $words[2]
    else if string match -q -- '--rules=*' $words[1]
        set rules $words[1]
    end
    linkherd $rules rules list 2>/dev/null | string split -f2 \t
end

complete -c linkherd -f
)SH"_s.arg(names.join(u' '));
    const auto values = [](ValueKind kind, const QStringList& choices) -> QString {
        switch (kind) {
        case ValueKind::file:
            return u" -F"_s;
        case ValueKind::browser:
            return u" -a '(linkherd browsers 2>/dev/null | string split -f1 \\t)'"_s;
        case ValueKind::rule:
            return u" -a '(__linkherd_rule_ids)'"_s;
        case ValueKind::choice:
            return u" -a "_s + quoted(choices.join(u' '));
        case ValueKind::text:
            break;
        }
        return QString();
    };
    const auto optionLine = [&](const QString& condition, const CommandOption& option) {
        return u"complete -c linkherd -n %1 -l %2%3 -d %4\n"_s.arg(
            quoted(condition), option.name.mid(2),
            option.takesValue()
                ? (option.kind == ValueKind::file ? u" -r"_s : u" -x"_s) + values(option.kind, option.choices)
                : QString(),
            quoted(option.help));
    };
    for (const CommandOption& option : toolOptions())
        script += optionLine(u"test -z \"$(__linkherd_command)\""_s, option);
    for (const QString& word : firstWords()) {
        const Command* command = findCommand(word);
        script += u"complete -c linkherd -n 'test -z \"$(__linkherd_command)\"' -a %1 -d %2\n"_s.arg(
            word, quoted(command ? command->summary : word + u" commands"_s));
    }
    for (const Command& command : commands()) {
        const QString is = u"__linkherd_is "_s + quoted(command.name).replace(u'\'', u'"');
        const qsizetype space = command.name.indexOf(u' ');
        if (space > 0) {
            script += u"complete -c linkherd -n %1 -a %2 -d %3\n"_s.arg(
                quoted(u"__linkherd_is "_s + command.name.first(space)), command.name.mid(space + 1),
                quoted(command.summary));
        }
        for (const CommandOption& option : command.options)
            script += optionLine(is, option);
        script += u"complete -c linkherd -n %1 -l help -d 'Show what the command does and takes.'\n"_s.arg(quoted(is));
        if (!command.positionals.isEmpty()) {
            const CommandPositional& positional = command.positionals.front();
            if (const QString offered = values(positional.kind, {}); !offered.isEmpty())
                script += u"complete -c linkherd -n %1%2\n"_s.arg(quoted(is), offered);
        }
    }
    return script;
}

} // namespace ShellCompletions
