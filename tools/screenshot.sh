#!/usr/bin/env bash
# Runs the real editor window under Xvfb and photographs it into docs/:
#   docs/screenshot-table.png     a generated archive of 400 entries, sorted by size
#                                 (descending) and filtered by "txd|车辆", two rows selected
#   docs/screenshot-progress.png  the progress dialog halfway through importing 3,000 files
# Needs xvfb, xauth and imagemagick (import) besides the build packages.
# Numbers are grouped as the locale in SCREENSHOT_LANG (default zh_CN.UTF-8) does it;
# Qt takes the number format from LANG even where glibc lacks that locale.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build/screenshot"

for tool in xvfb-run xauth import; do
    command -v "$tool" >/dev/null || { echo "missing $tool: apt-get install xvfb xauth imagemagick" >&2; exit 1; }
done

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DOSTREVALE_BUILD_TESTS=OFF -DOSTREVALE_BUILD_SCREENSHOT=ON >/dev/null
cmake --build "$build" -j 2 --target ostrevale_screenshot

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$here/docs"

run() {
    env -u LC_ALL -u LC_NUMERIC LANG="${SCREENSHOT_LANG:-zh_CN.UTF-8}" QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1024x768x24" \
        "$build/tools/screenshot/ostrevale_screenshot" "$@"
}

modes=("${@:-table progress}")
for mode in ${modes[*]}; do
    mkdir -p "$work/$mode"
    run "$mode" "$work/$mode" "$here/docs/screenshot-$mode.png"
    echo "wrote docs/screenshot-$mode.png"
done
