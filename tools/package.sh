#!/usr/bin/env bash
# Builds the Debian package: a Release build in build/package, packed by CPack.
# Prints the path of the .deb; install it with  sudo apt-get install ./ostrevale_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
ostrevale_install_deps
# dpkg-shlibdeps works out the package's library dependencies.
ostrevale_install dpkg-dev file

build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DOSTREVALE_BUILD_TESTS=OFF -DOSTREVALE_INSTALL=ON
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
deb=$(ls -t "$build"/ostrevale_*.deb | head -n 1)
dpkg-deb --info "$deb" | sed -n '/Package:/,/Description:/p' >&2
# Debian's own package checker, where it is installed.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" >&2
fi
realpath "$deb"
