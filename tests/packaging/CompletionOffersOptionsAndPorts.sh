#!/usr/bin/env bash
# CompletionOffersOptionsAndPorts.sh ORVEXA-CLI COMPLETION : the bash completion, sourced as bash-completion
# sources it, completes "orvexa-cli --p" to every --p option that --help lists, and "orvexa-cli --port "
# to the ports that --list-ports finds (here two named ones, which it lists though they do not exist).
set -uo pipefail
cli="$1"
source "$2"
PATH="$(dirname "$cli"):$PATH"
failures=0

# complete_line WORD... : what the completion offers for the last word, one a line, sorted.
complete_line() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    local previous=""
    [ $# -ge 2 ] && previous="${COMP_WORDS[COMP_CWORD - 1]}"
    _orvexa_cli orvexa-cli "${COMP_WORDS[COMP_CWORD]}" "$previous"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {
    local what="$1" got="$2" wanted="$3"
    if [ "$got" = "$wanted" ]; then
        echo "ok   $what: $(tr '\n' ' ' <<<"$got")"
    else
        echo "FAIL $what: offered [$(tr '\n' ' ' <<<"$got")], wanted [$(tr '\n' ' ' <<<"$wanted")]"
        failures=$((failures + 1))
    fi
}

wanted="$(orvexa-cli --help | grep -oE -- '--p[a-z0-9-]*' | sort -u)"
grep -qx -- --port <<<"$wanted" || { echo "FAIL orvexa-cli --help lists no --port"; exit 1; }
expect "orvexa-cli --p" "$(complete_line orvexa-cli --p)" "$wanted"

export ORVEXA_EXTRA_PORTS=/nonexistent/orvexa-a:/nonexistent/orvexa-b
expect "orvexa-cli --port /nonexistent/orvexa-" \
    "$(complete_line orvexa-cli --port /nonexistent/orvexa-)" $'/nonexistent/orvexa-a\n/nonexistent/orvexa-b'
exit $((failures != 0))
