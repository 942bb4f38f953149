#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it: ./run.sh [ARCHIVE.img]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/tools/deps.sh"
ostrevale_install_deps

build="$here/build/release"
# A folder configured before (by hand, as the README's "From source" does) keeps the
# generator it was made with; CMake refuses to switch it.
generator=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] && generator=()
cmake -S "$here" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DOSTREVALE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
exec "$build/app/ostrevale" "$@"
