# Shared by scripts/run and scripts/test: package installation and the build.
# shellcheck shell=bash

KV3PD_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# fonts-wqy-zenhei: the Chinese text of the certificates (a CJK font with
# real "℃" and "℉" glyphs, at a twelfth of the size of Noto CJK).
KV3PD_PACKAGES=(cmake ninja-build g++ pkg-config qtbase5-dev qtbase5-dev-tools
    libqt5serialport5-dev libqt5sql5-sqlite qttools5-dev qttools5-dev-tools libqcustomplot-dev
    fonts-wqy-zenhei)
# For the tests: pdftotext reads the certificates back.
KV3PD_TEST_PACKAGES=(poppler-utils)
# For the Debian package and the tests that check it and the installed tree.
KV3PD_PACKAGING_PACKAGES=(dpkg-dev file desktop-file-utils appstream lintian)
# For the benchmark programs in bench/: Qt SerialBus (the peer Modbus master),
# Google Benchmark, and an X server without a screen for the CPU figure under X.
KV3PD_BENCH_PACKAGES=(libqt5serialbus5-dev libbenchmark-dev xvfb xauth)
# For scripts/fuzz: clang and its runtimes (libFuzzer, ASan, UBSan), which
# clang itself only recommends.
KV3PD_FUZZ_PACKAGES=(clang libclang-rt-dev)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "error: '$*' needs root and sudo is not available" >&2
        return 1
    fi
}

# Installs the Debian packages that are missing; never asks anything.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
}

# configure_and_build DIR [extra cmake arguments...]
# Builds everything, or only the targets named in KV3PD_TARGETS.
configure_and_build() {
    local dir="$1"
    shift
    cmake -S "$KV3PD_ROOT" -B "$KV3PD_ROOT/$dir" -G Ninja \
        -DCMAKE_BUILD_TYPE="${KV3PD_BUILD_TYPE:-RelWithDebInfo}" \
        -DKV3PD_WERROR="${KV3PD_WERROR:-OFF}" "$@"
    local targets=()
    [ -n "${KV3PD_TARGETS:-}" ] && read -r -a targets <<<"--target $KV3PD_TARGETS"
    cmake --build "$KV3PD_ROOT/$dir" -j "$(nproc)" "${targets[@]}"
}
