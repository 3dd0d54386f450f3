#!/usr/bin/env bash
# Transfer speed and memory of quelt against curl on a local vsftpd.
#   bash bench/medir.sh [SIZE [ROUNDS]]     SIZE like 1G (default), 256M, 4M
# Run as root (vsftpd binds 127.0.6.1:21).  Installs what is missing and
# builds quelt into build-medir/ unless QUELT names a built one.  It fails
# only when a transfer fails or a copy differs, never on speed.
set -euo pipefail
cd "$(dirname "$0")/.."

tam=${1:-1G}
rondas=${2:-7}

. ./instalar.sh
instalar cmake ninja-build g++ vsftpd curl python3

if [ -z "${QUELT:-}" ]; then
  cmake -S . -B build-medir -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
  cmake --build build-medir >/dev/null
  QUELT=build-medir/quelt
fi

# The two helpers in C++: the 1 KiB-write sender, and the launcher that
# reports each process's CPU time and peak RSS (static, so that it adds
# nothing of its own to the figure).
ayudantes=$(mktemp -d /tmp/quelt-medir.XXXXXX)
trap 'rm -rf "$ayudantes"' EXIT
g++ -O2 -o "$ayudantes/emisor" bench/emisor.cpp
g++ -O2 -static -o "$ayudantes/medida" bench/medida.cpp 2>/dev/null ||
  g++ -O2 -o "$ayudantes/medida" bench/medida.cpp

/usr/bin/python3 bench/medir.py "$(realpath "$QUELT")" "$ayudantes/emisor" "$ayudantes/medida" "$tam" "$rondas"
