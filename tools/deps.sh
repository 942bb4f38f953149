# Sourced by run.sh and test.sh: installs the Debian packages the build needs,
# only those that are missing. As root it installs them itself; otherwise it uses
# sudo when there is one, and else names the command to run.

OSTREVALE_PACKAGES=(
    cmake g++ make ninja-build
    qtbase5-dev qtbase5-dev-tools
    # the RenderWare reader: DXT blocks and PNG files
    libsquish-dev libpng-dev
    # the window's Chinese texts need a CJK font
    fonts-wqy-microhei
    # the install_layout test: menu entry and metainfo validators, and the desktop's
    # view of the file type (update-mime-database, gio, xdg-mime)
    desktop-file-utils appstream shared-mime-info libglib2.0-bin xdg-utils
    # the shell completion's test
    bash-completion
)

ostrevale_missing_packages() {
    local missing=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]:-}"
}

ostrevale_install() {
    local missing
    missing=$(ostrevale_missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "Installing: $missing"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "Please install these packages first: sudo apt-get install $missing" >&2
            return 1
        fi
    fi
    # shellcheck disable=SC2086
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing \
        || { "${sudo[@]}" apt-get update && "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
                 apt-get install -y --no-install-recommends $missing; }
}

ostrevale_install_deps() {
    ostrevale_install "${OSTREVALE_PACKAGES[@]}"
}

# Only for bench/run.sh: Google Benchmark for the table's micro-benchmarks and
# gnuplot for the chart of the results. The build and the tests do not need them.
OSTREVALE_BENCH_PACKAGES=(libbenchmark-dev gnuplot-nox)

ostrevale_install_bench_deps() {
    ostrevale_install "${OSTREVALE_BENCH_PACKAGES[@]}"
}
