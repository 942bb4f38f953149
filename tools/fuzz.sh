#!/usr/bin/env bash
# Builds the archive fuzz target with clang and libFuzzer (plus AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs it on one core.
#   tools/fuzz.sh [SECONDS] [extra libFuzzer arguments...]
# New inputs go to build/fuzz/corpus (seeded from tests/fuzz/corpus), crashing
# inputs to build/fuzz/findings. Keep each finding, once fixed, in
# tests/fuzz/regressions under a name that says what it caught: ./test.sh replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
ostrevale_install_deps
# libFuzzer's runtime comes with clang's runtime libraries; fuzzing only, not the tests.
ostrevale_install clang-14 libclang-rt-14-dev

seconds=${1:-600}
shift || true
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DOSTREVALE_SANITIZE=ON -DOSTREVALE_FUZZ=ON \
    -DOSTREVALE_BUILD_GUI=OFF -DOSTREVALE_BUILD_TESTS=ON
cmake --build "$build" --target fuzz_archive -j 2

mkdir -p "$build/corpus" "$build/findings"
# Each input writes a few small files; a memory-backed temporary folder keeps that cheap.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/tests/fuzz/fuzz_archive" "$build/corpus" tests/fuzz/corpus tests/fuzz/regressions \
    -max_total_time="$seconds" -max_len=16384 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$build/findings/" -print_final_stats=1 "$@"
