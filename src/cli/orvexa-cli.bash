# bash completion for orvexa-cli. The options are read from the program's own --help each time, so they
# are those of the orvexa-cli being completed, whichever version it is; after --port come the ports that
# --list-ports finds, and after any other option that takes a value (shown in --help as "--option VALUE"),
# file names.

_orvexa_cli() {
    local program="$1" cur="$2" prev="$3"
    COMPREPLY=()
    local usage
    usage="$("$program" --help 2>/dev/null)" || return 0

    if [[ $prev == --port ]]; then
        # --list-ports prints one port a line, its path first, or one sentence when it finds none.
        local ports
        ports="$("$program" --list-ports 2>/dev/null | awk 'NF && $0 != "No serial ports found." { print $1 }')"
        local IFS=$'\n'
        COMPREPLY=($(compgen -W "$ports" -- "$cur"))
        return 0
    fi
    if [[ $prev == --* ]] && grep -qE -- "^ +$prev +[A-Z]+( |$)" <<<"$usage"; then
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY=($(compgen -f -- "$cur"))
        return 0
    fi
    if [[ $cur == -* || -z $cur ]]; then
        local options
        options="$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$usage" | sort -u)"
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    fi
    return 0
}
complete -F _orvexa_cli orvexa-cli
