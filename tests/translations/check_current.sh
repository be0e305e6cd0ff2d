#!/usr/bin/env bash
# Runs lupdate, as translations/README.md says, on a copy of each .ts and fails
# while a text of the program has no translation there: the English window
# would show it in Chinese.
# Usage: check_current.sh SOURCE_DIR LUPDATE
set -euo pipefail
src="$1" lupdate="$2"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
cd "$src"
for ts in translations/*.ts; do
    copy="$work/$(basename "$ts")"
    cp "$ts" "$copy"
    "$lupdate" -silent -no-obsolete -locations none -source-language zh_CN \
        -target-language "$(sed -n 's/.*<TS [^>]*language="\([^"]*\)".*/\1/p' "$ts")" \
        src forms -ts "$copy"
    # An entry lupdate added or found changed has no finished translation.
    untranslated="$(awk '/<source>/ { source = $0 } /type="unfinished"/ { print source }' "$copy")"
    if [ -n "$untranslated" ]; then
        echo "FAIL: $ts lacks translations of:" >&2
        echo "$untranslated" >&2
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] || exit 1
echo "translations cover every text"
