#!/bin/sh
# HelpForMan.sh PROGRAM ARGUMENT : what help2man reads from PROGRAM --help or --version, with a usage line
# that the program wraps onto indented lines joined into one: help2man takes only the first line of a
# usage as the synopsis, and would put the rest in the description.
program="$1"
shift
"$program" "$@" | awk '
    NR == 1 && /^Usage: / { usage = $0; next }
    usage != "" && /^ +[^ ]/ { sub(/^ +/, " "); usage = usage $0; next }
    usage != "" { print usage; usage = "" }
    { print }
    END { if (usage != "") print usage }'
