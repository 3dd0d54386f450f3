#!/usr/bin/env bash
# Builds quelt and runs every test.  Installs first whatever this machine
# lacks; when everything is there already it goes straight to the build.
set -euo pipefail
cd "$(dirname "$0")"

paquetes=(cmake ninja-build g++ libgtest-dev python3-pyftpdlib vsftpd)
faltan=()
for p in "${paquetes[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || faltan+=("$p")
done
if [ ${#faltan[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${faltan[@]}" >/dev/null
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure
