#!/usr/bin/env bash
# Builds the Debian package from this build (cpack, no rebuild) and checks its
# control fields, its contents and lintian's verdict. The package stays in the
# build folder.
# Usage: check_deb.sh BUILD_DIR APP_ID VERSION CPACK
set -euo pipefail
build="$1" appid="$2" version="$3" cpack="$4"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cd "$build"
rm -f kv3pd_*.deb
"$cpack" -G DEB --config CPackConfig.cmake >cpack.log 2>&1 || {
    cat cpack.log >&2
    exit 1
}
deb="kv3pd_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || {
    echo "FAIL: cpack made no $deb" >&2
    exit 1
}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kv3pd ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ -n "$(field Section)" ] || fail "no Section"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 2 ] || fail "no long description"
# Computed from the binaries, so each library comes with its least version.
depends="$(field Depends)"
for library in libc6 libstdc++6 libqt5core5a libqt5widgets5 libqt5serialport5; do
    [[ "$depends" == *"$library (>= "* ]] || fail "Depends lacks $library: $depends"
done
# The SQLite driver is a plugin: no binary links it, so it is named by hand.
[[ "$depends" =~ (^|, )libqt5sql5-sqlite(,|$) ]] || fail "Depends lacks libqt5sql5-sqlite: $depends"
[[ "$depends" =~ (^|, )fonts-wqy-zenhei(,|$) ]] || fail "Depends lacks fonts-wqy-zenhei: $depends"

listing="$(dpkg-deb -c "$deb")"
awk '$2 != "root/root"' <<<"$listing" | grep . && fail "entries not owned by root"
awk '{print $6}' <<<"$listing" | grep -v '^\./usr/' | grep -v '^\./$' && fail "entries outside /usr"
for path in usr/bin/kv3pd usr/bin/kv3pd-sim usr/share/applications/$appid.desktop \
    usr/share/metainfo/$appid.metainfo.xml usr/share/icons/hicolor/scalable/apps/kv3pd.svg \
    usr/share/icons/hicolor/48x48/apps/kv3pd.png usr/share/man/man1/kv3pd.1.gz \
    usr/share/man/man1/kv3pd-sim.1.gz usr/share/bash-completion/completions/kv3pd-cli \
    usr/share/doc/kv3pd/copyright \
    usr/share/doc/kv3pd/changelog.gz; do
    grep -q " \./$path\$" <<<"$listing" || fail "the package lacks /$path"
done

unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for program in "$unpacked"/usr/bin/*; do
    file -b "$program" | grep -q ', stripped' || fail "$(basename "$program") is not stripped"
done

lintian --fail-on error "$deb" ||
    fail "lintian reports errors"

[ "$failures" -eq 0 ] || exit 1
echo "$build/$deb in order"
