#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that what a desktop,
# man and the software centres look for is there and fits together.
# Usage: check_install.sh BUILD_DIR APP_ID VERSION
set -euo pipefail
build="$1" appid="$2" version="$3"

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null

stray="$(cd "$prefix" && find . -type f ! -path './bin/*' ! -path './share/*')"
[ -z "$stray" ] || fail "installed outside bin/ and share/: $stray"

# Every program answers --version without a display and has its manual page.
programs=("$prefix"/bin/*)
[ -x "$prefix/bin/kv3pd" ] || fail "bin/kv3pd is missing"
[ -x "$prefix/bin/kv3pd-sim" ] || fail "bin/kv3pd-sim is missing"
for program in "${programs[@]}"; do
    name="$(basename "$program")"
    got="$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 "$program" --version)" || true
    [ "$got" = "$name $version" ] || fail "$name --version printed '$got'"
    page="$prefix/share/man/man1/$name.1.gz"
    if ! gzip -t "$page" 2>/dev/null; then
        fail "no gzipped manual page for $name"
    else
        title="$(zcat "$page" | sed -n '/^\.SH NAME/{n;s/\\-/-/g;p;q}')"
        [[ "$title" == "$name - "* ]] || fail "the manual page $name.1 is titled '$title'"
    fi
done

# Bash loads the completion by the command's name; it asks the installed program.
completion="$prefix/share/bash-completion/completions/kv3pd-cli"
if [ -x "$prefix/bin/kv3pd-cli" ]; then
    if [ ! -f "$completion" ]; then
        fail "no bash completion for kv3pd-cli"
    else
        got="$(PATH="$prefix/bin:$PATH" bash -c '
            source "$1"
            COMP_LINE="kv3pd-cli set pressure_unit=K" COMP_POINT=29
            COMP_WORDS=(kv3pd-cli set pressure_unit = K) COMP_CWORD=4
            _kv3pd_cli
            echo "${COMPREPLY[*]}"' _ "$completion")"
        [ "$got" = KPa ] || fail "bash completes 'kv3pd-cli set pressure_unit=K' with '$got'"
    fi
fi

desktop="$prefix/share/applications/$appid.desktop"
if [ ! -f "$desktop" ]; then
    fail "no desktop entry $appid.desktop"
else
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $appid.desktop"
    # The entry and each of its actions (the factory mode) start an installed program.
    execs="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
    [ -n "$execs" ] || fail "no Exec= in $appid.desktop"
    for exec_name in $execs; do
        [ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
    done
    grep -q '^Exec=kv3pd --factory$' "$desktop" || fail "no factory-mode action in $appid.desktop"
    icon="$(sed -n 's/^Icon=//p' "$desktop")"
    hicolor="$prefix/share/icons/hicolor"
    sizes=0
    for png in "$hicolor"/*/apps/"$icon".png; do
        [ -f "$png" ] || continue
        sizes=$((sizes + 1))
        size="$(basename "$(dirname "$(dirname "$png")")")"
        file -b "$png" | grep -q "PNG image data, ${size/x/ x }," ||
            fail "$png is not a $size PNG: $(file -b "$png")"
    done
    [ "$sizes" -ge 4 ] || fail "Icon=$icon has $sizes sizes in hicolor, want several"
    [ -f "$hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon has no scalable SVG"
fi

# Checks the metainfo, and that its launchable names the installed entry.
appstreamcli validate-tree --no-net "$prefix" || fail "appstreamcli rejects the installed tree"
[ -f "$prefix/share/metainfo/$appid.metainfo.xml" ] || fail "no metainfo $appid.metainfo.xml"

[ "$failures" -eq 0 ] || exit 1
echo "install tree in order: ${#programs[@]} programs"
