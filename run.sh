#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it: ./run.sh [ARCHIVE.img]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/tools/deps.sh"
ostrevale_install_deps

build="$here/build/release"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREVALE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
exec "$build/app/ostrevale" "$@"
