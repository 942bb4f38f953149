#!/usr/bin/env bash
# Builds in Release (build/bench), generates synthetic archives in a temporary
# folder on the same disk as the build, times every operation next to its
# baseline and prints one table; the full scale also rewrites bench/RESULTS.md
# and its chart, bench/results.svg (drawn by gnuplot from bench/results.tsv).
#   bench/run.sh [--scale small|full] [--micro]
#     --scale small  a smoke run of about a minute (CI may run it; no thresholds)
#     --scale full   the real measurement: stock-sized archives and 100,000 entries
#     --micro        afterwards, the table's micro-benchmarks (Google Benchmark)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

scale=small
micro=0
while [ $# -gt 0 ]; do
    case "$1" in
        --scale) scale=${2:-}; shift 2 ;;
        --scale=*) scale=${1#--scale=}; shift ;;
        --micro) micro=1; shift ;;
        *) echo "usage: bench/run.sh [--scale small|full] [--micro]" >&2; exit 2 ;;
    esac
done
case "$scale" in small|full) ;; *) echo "--scale is small or full" >&2; exit 2 ;; esac

source tools/deps.sh
ostrevale_install_deps
ostrevale_install_bench_deps || echo "Google Benchmark or gnuplot is missing: no micro-benchmarks or chart" >&2

build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DOSTREVALE_BUILD_BENCH=ON -DOSTREVALE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null

mkdir -p "$build"
work=$(mktemp -d "$repo/$build/data.XXXXXX")
trap 'rm -rf "$work"' EXIT

results=()
if [ "$scale" = full ]; then
    chart="$repo/bench/results.svg"
    results=(--results "$repo/bench/RESULTS.md" --notes "$repo/bench/NOTES.md" --chart "$chart")
else
    chart="$repo/$build/results-small.svg"
    results=(--results "$repo/$build/RESULTS-small.md" --notes "$repo/bench/NOTES.md" --chart "$chart")
fi
status=0
"$build/bench/ostrevale-bench" run --scale "$scale" --work "$work" "${results[@]}" || status=$?

if command -v gnuplot >/dev/null 2>&1 && [ -s "${chart%.svg}.tsv" ]; then
    gnuplot -e "data='${chart%.svg}.tsv'; out='$chart'" bench/results.gp && echo "chart: $chart"
else
    echo "no chart: gnuplot is missing or nothing was judged" >&2
fi
[ "$status" = 0 ] || exit "$status"

if [ "$micro" = 1 ] && [ -x "$build/bench/ostrevale-microbench" ]; then
    "$build/bench/ostrevale-microbench"
fi
