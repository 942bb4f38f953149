#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test through CTest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
ostrevale_install_deps

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DOSTREVALE_SANITIZE=ON -DOSTREVALE_FAULT_INJECTION=ON -DOSTREVALE_BUILD_TESTS=ON \
    -DOSTREVALE_BUILD_BENCH=ON
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
