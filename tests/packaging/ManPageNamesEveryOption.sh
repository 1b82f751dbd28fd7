#!/usr/bin/env bash
# ManPageNamesEveryOption.sh PROGRAM PAGE : every option that PROGRAM --help lists is named in PAGE, the
# manual page made from it. Fails on a page that help2man misread, or one left behind by its program.
set -euo pipefail
program="$1"
page="$2"

options="$("$program" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)"
if [ -z "$options" ]; then
    echo "$program --help lists no option"
    exit 1
fi
# roff writes a hyphen as \- and may set an option in bold (\fB...\fR).
text="$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$page")"
missing=()
for option in $options; do
    grep -qE -- "$option([^a-z0-9-]|\$)" <<<"$text" || missing+=("$option")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "$(basename "$page") does not name: ${missing[*]}"
    exit 1
fi
echo "$(basename "$page") names all $(wc -w <<<"$options") options of $(basename "$program") --help"
