#!/usr/bin/env bash
# The manual pages and the bash completion against the programs they describe: every command,
# option and exit code the programs know is in their page, the pages render without warnings,
# and the completion offers commands, options and the setting paths of a file.
# Usage: tst_manandcompletion.sh CLI GUI MANDIR COMPLETION DEMO
set -uo pipefail
cli=$1 gui=$2 mandir=$3 completion=$4 demo=$5
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data XDG_CACHE_HOME=$scratch/cache
export QT_QPA_PLATFORM=offscreen

# troff writes a minus sign of an option as "\-".
in_page() { grep -qF -- "$(printf '%s' "$2" | sed 's/-/\\-/g')" "$1"; }

cli_help=$("$cli" --help 2>/dev/null)
gui_help=$("$gui" --help 2>/dev/null)
for command in $(printf '%s\n' "$cli_help" | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p'); do
    grep -q "^\.BI $command \"" "$mandir/prefwright-cli.1" || fail "prefwright-cli.1 lacks the command $command"
done
for option in $(printf '%s\n' "$cli_help" | grep -oE -- '--[a-z][a-z-]*' | sort -u) --version -h; do
    in_page "$mandir/prefwright-cli.1" "$option" || fail "prefwright-cli.1 lacks $option"
done
for option in $(printf '%s\n' "$gui_help" | grep -oE -- '(^| )-(-[a-z][a-z-]*|[a-z])' | tr -d ' ' | sort -u); do
    in_page "$mandir/prefwright.1" "$option" || fail "prefwright.1 lacks $option"
done
for code in 0 1 2 3; do
    grep -qx ".B $code" "$mandir/prefwright-cli.1" || fail "prefwright-cli.1 lacks exit status $code"
done
for page in prefwright prefwright-cli; do
    warnings=$(groff -man -Tutf8 -ww -z "$mandir/$page.1" 2>&1)
    [ -z "$warnings" ] || fail "$page.1 renders with warnings: $warnings"
    grep -q '@' "$mandir/$page.1" && fail "$page.1 has an unfilled placeholder"
done

# The completion, as bash calls it.
cp "$demo" "$scratch/demo.settings"
mkdir -p "$scratch/bin"
ln -s "$cli" "$scratch/bin/prefwright-cli"
complete_words() {
    PATH="$scratch/bin:$PATH" bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _prefwright_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" prefwright-cli "$@"
}
expect() { # expected output, words...
    local expected=$1 got
    shift
    got=$(complete_words "$@")
    [ "$got" = "$expected" ] || fail "completing '$*' gave '$got', expected '$expected'"
}
expect set se
expect check --json che
expect $'--json\n--help\n--version\n--yes\n--fingerprint' delete "$scratch/demo.settings" --
expect "$scratch/demo.settings" get "$scratch/demo.s"
expect Global/ get "$scratch/demo.settings" Glo
expect Global/Preferences/Process/MaxProcessors= set "$scratch/demo.settings" Global/Preferences/Process/MaxPro
expect "" set "$scratch/demo.settings" Global/Preferences/Process/MaxProcessors = ""
expect $'b\ni\nu\nF\nf\ns' normalize ""
expect "" get "$scratch/missing.settings" Glo
expect "" get -- --
expect $'start\nskip\nstatus' bisect s
expect $'--json\n--help\n--version\n--use-good\n--keep-current\n--from-backup' bisect reset "$scratch/demo.settings" --

# Keys are the file's, not the user's: offered quoted, they reach the command as written and
# nothing in them runs; a key with "=" cannot be assigned and is not offered for set.
printf '%s' '<xsdt><i k="G"><v k="x$(touch PWNED)y" t="i" v="1"/><v k="My Key" t="i" v="1"/><v k="a=b" t="i" v="1"/></i></xsdt>' \
    > "$scratch/hostile settings"
offered=$(cd "$scratch" && complete_words get "hostile\ settings" G/x)
eval "set -- $offered"
[ "$#" = 1 ] && [ "$1" = 'G/x$(touch PWNED)y' ] || fail "a hostile key was offered as '$offered'"
[ ! -e "$scratch/PWNED" ] || fail "a key ran a command"
expect 'G/My\ Key' get "$scratch/hostile settings" G/My
expect "" set "$scratch/hostile settings" G/a

[ "$failures" -eq 0 ] && echo "PASS: manual pages and completion"
exit $((failures > 0))
