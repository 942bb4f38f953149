#!/usr/bin/env bash
# Loads the bash completion of ostrevale-cli as bash-completion would and checks
# what it offers: commands, options and their values, archive paths and the
# entry names of a real archive. The commands and options it must offer are
# read from the program's own --help.
#   check_completion.sh CLI COMPLETION_SCRIPT
set -uo pipefail
cli=$(realpath "$1")
script=$(realpath "$2")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

source /usr/share/bash-completion/bash_completion || { echo "bash-completion is not installed" >&2; exit 1; }
source "$script" || { echo "cannot source $script" >&2; exit 1; }
complete -p ostrevale-cli >/dev/null 2>&1 || fail "the script registers no completion for ostrevale-cli"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PATH=$(dirname "$cli"):$PATH
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}

# The words bash hands a completion function for LINE, the cursor at its end:
# split at blanks, '=' a word of its own (it is in COMP_WORDBREAKS).
offers() {
    local line=$1
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMP_WORDS=()
    local spaced=${line//=/ = }
    read -ra COMP_WORDS <<<"$spaced"
    [[ $line == *" " || $line == *"=" ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _ostrevale_cli ostrevale-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
}

# expect LINE WORD...: exactly these words are offered, in any order.
expect() {
    local line=$1
    shift
    local got wanted
    got=$(offers "$line")
    wanted=$( (($#)) && printf '%s\n' "$@" | LC_ALL=C sort)
    [[ $got == "$wanted" ]] || fail "'$line' offers [${got//$'\n'/ }], not [${wanted//$'\n'/ }]"
}

# A version 2 archive with three entries, one with a blank in its name.
mkdir -p "$work/src" "$work/arc/sub"
printf 'x' >"$work/src/big.txd"
printf 'y' >"$work/src/my car.dff"
printf 'z' >"$work/src/small.col"
touch "$work/arc/B.IMG" "$work/arc/notes.txt"
cd "$work/arc"
ostrevale-cli create --version 2 a.img && ostrevale-cli add -q a.img "$work/src" \
    || { fail "cannot make the test archive"; exit 1; }

# Commands and options: what --help lists.
mapfile -t commands < <(ostrevale-cli --help | sed -n '/^Commands:/,/^$/s/^  \([a-z]*\) .*/\1/p')
((${#commands[@]} >= 9)) || fail "the overview lists ${#commands[@]} commands"
expect "ostrevale-cli " "${commands[@]}"
expect "ostrevale-cli re" rebuild rename
expect "ostrevale-cli -" -h --help --version
expect "ostrevale-cli frobnicate "
for command in "${commands[@]}"; do
    mapfile -t options < <(ostrevale-cli "$command" --help | sed -n '/^Options:/,/^$/p' \
        | grep -oE '(^|[ ,])--?[a-z]+' | tr -d ' ,')
    expect "ostrevale-cli $command -" "${options[@]}"
    expect "ostrevale-cli $command a.img --he" --help
done

# Option values.
expect "ostrevale-cli create --version " 1 2
expect "ostrevale-cli create new.img --version=" 1 2
expect "ostrevale-cli list a.img --sort " name size offset number
expect "ostrevale-cli list a.img --sort=o" offset
expect "ostrevale-cli list --regex "
expect "ostrevale-cli extract a.img -o " sub
expect "ostrevale-cli extract --output s" sub

# Archive paths: .img files (either case) and folders.
expect "ostrevale-cli info " B.IMG a.img sub
expect "ostrevale-cli list --sort size " B.IMG a.img sub
expect "ostrevale-cli info a.img "
expect "ostrevale-cli info a.img --t" --types
expect "ostrevale-cli add a.img " B.IMG a.img notes.txt sub
expect "ostrevale-cli add a.img notes.txt n" notes.txt

# Entry names, read from the archive named before them.
expect "ostrevale-cli extract -o sub a.img " big.txd 'my\ car.dff' small.col
expect "ostrevale-cli extract a.img my" 'my\ car.dff'
expect "ostrevale-cli delete a.img BI" big.txd
expect "ostrevale-cli delete a.img big.txd s" small.col
expect "ostrevale-cli rename a.img " big.txd 'my\ car.dff' small.col
expect "ostrevale-cli rename a.img big.txd "
expect "ostrevale-cli delete missing.img "
expect "ostrevale-cli delete notes.txt "

if ((failures)); then
    echo "$failures completion check(s) failed" >&2
    exit 1
fi
echo "bash completion offers what the commands take"
