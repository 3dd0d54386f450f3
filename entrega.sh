#!/usr/bin/env bash
# The release files in build/entrega/: the Debian package, the static quelt
# for x86_64 and aarch64 Linux, and their SHA256SUMS.  It builds them and
# checks nothing else: run bash probar.sh first on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")"
cmake --workflow --preset paquete >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-paquete/CMakeCache.txt)
for preset in musl aarch64; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset >/dev/null
done
ficheros=(build-paquete/quelt_${version}_amd64.deb
          build-x86_64-linux-musl/quelt-$version-x86_64-linux-musl.tar.gz
          build-aarch64-linux-musl/quelt-$version-aarch64-linux-musl.tar.gz)
rm -rf build/entrega
mkdir -p build/entrega
cp "${ficheros[@]}" build/entrega/
cd build/entrega
sha256sum -- "${ficheros[@]##*/}" >SHA256SUMS
sha256sum -c SHA256SUMS
