#include "cli/BashCompletion.h"

#include "cli/Console.h"

namespace BashCompletion {

namespace {

// Every spelling of an option: "-o --output".
QString Spellings(const QCommandLineOption &option)
{
    QStringList out;
    for (const QString &name : option.names())
        out << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    return out.join(QLatin1Char(' '));
}

QString KindWord(Command::Completion completion)
{
    switch (completion) {
    case Command::Completion::Archive:
        return QStringLiteral("archive");
    case Command::Completion::Paths:
        return QStringLiteral("paths");
    case Command::Completion::EntryName:
        return QStringLiteral("entry");
    case Command::Completion::None:
        break;
    }
    return QStringLiteral("none");
}

// The case arms that describe one command to the completion function.
QString CommandArms(Command &command)
{
    QStringList options = {Spellings(Command::HelpOption())};
    QStringList valued;
    QString values;
    for (const QCommandLineOption &option : command.Options()) {
        options << Spellings(option);
        if (option.valueName().isEmpty())
            continue;
        valued << Spellings(option);
        const QString pattern = Spellings(option).replace(QLatin1Char(' '), QLatin1Char('|'));
        // A value name like "1|2" lists the values; FOLDER asks for a folder; others are free text.
        QString action = QStringLiteral("return");
        if (option.valueName().contains(QLatin1Char('|')))
            action = QStringLiteral("COMPREPLY=($(compgen -W '%1' -- \"$cur\")); return")
                         .arg(option.valueName().split(QLatin1Char('|')).join(QLatin1Char(' ')));
        else if (option.valueName() == QLatin1String("FOLDER"))
            action = QStringLiteral("_filedir -d; return");
        values += QStringLiteral("            %1) %2 ;;\n").arg(pattern, action);
    }
    QStringList kinds;
    for (const Command::Positional &positional : command.Positionals())
        kinds << KindWord(positional.completion);

    QString arm = QStringLiteral("        %1)\n").arg(command.Name());
    arm += QStringLiteral("            options='%1'\n").arg(options.join(QLatin1Char(' ')));
    if (!valued.isEmpty()) // spaced, so that a word can be looked for as " WORD "
        arm += QStringLiteral("            valued=' %1 '\n").arg(valued.join(QLatin1Char(' ')));
    arm += QStringLiteral("            kinds=(%1)\n").arg(kinds.join(QLatin1Char(' ')));
    arm += QStringLiteral("            repeats=%1\n").arg(command.TakesMoreArguments() ? 1 : 0);
    if (!values.isEmpty())
        arm += QStringLiteral("            case $prev in\n%1            esac\n").arg(values);
    arm += QStringLiteral("            ;;\n");
    return arm;
}

} // namespace

QString Script(const std::vector<std::unique_ptr<Command>> &commands)
{
    QStringList names;
    QString arms;
    for (const auto &command : commands) {
        names << command->Name();
        arms += CommandArms(*command);
    }
    QString script =
        QStringLiteral(R"(# bash completion for %1                                  -*- shell-script -*-
# Written by `%1 --completion bash` from the program's own list of commands.

# Entry names of the archive $1 that start with $2, read from `%1 list`.
_ostrevale_cli_entries()
{
    local archive=$1 cur=$2 cli=$3 name quoted
    archive=$(dequote "$archive") # as typed: quotes, backslashes, a leading ~
    [[ -f $archive ]] || return
    local -a names=() exact=() folded=()
    local IFS=$'\n'
    names=($("$cli" list -- "$archive" 2>/dev/null | cut -f1))
    for name in "${names[@]}"; do
        printf -v quoted %q "$name"
        [[ $quoted == "$cur"* ]] && exact+=("$quoted")
        [[ ${quoted,,} == "${cur,,}"* ]] && folded+=("$quoted")
    done
    # The program ignores ASCII case in names; an exact prefix is preferred.
    if ((${#exact[@]})); then
        COMPREPLY+=("${exact[@]}")
    else
        COMPREPLY+=("${folded[@]}")
    fi
}

_ostrevale_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    local i command=
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            break
        fi
    done
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '-h --help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W '%2' -- "$cur"))
        fi
        return
    fi

    local options valued= repeats
    local -a kinds
    case $command in
%3        *) return ;;
    esac
    [[ $split == true ]] && return
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # Which positional argument the word is, and the archive (the first one).
    local n=0 archive= word options_end=
    for ((i++; i < cword; i++)); do
        word=${words[i]}
        if [[ -z $options_end && $word == -- ]]; then
            options_end=1
        elif [[ -z $options_end && $word == -* ]]; then
            [[ $word != *=* && $valued == *" $word "* ]] && i=$((i + 1))
        else
            [[ $n == 0 ]] && archive=$word
            n=$((n + 1))
        fi
    done
    local kind=${kinds[n]-}
    if [[ -z $kind ]] && ((repeats)); then
        kind=${kinds[${#kinds[@]} - 1]}
    fi
    case $kind in
        archive) _filedir img ;;
        paths) _filedir ;;
        entry) _ostrevale_cli_entries "$archive" "$cur" "${words[0]}" ;;
    esac
} &&
    complete -F _ostrevale_cli %1

# ex: filetype=sh
)");
    return script.arg(QLatin1String(Console::kProgramName), names.join(QLatin1Char(' ')), arms);
}

} // namespace BashCompletion
