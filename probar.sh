#!/usr/bin/env bash
# Builds quelt and runs every test.  Installs first whatever this machine
# lacks; when everything is there already it goes straight to the build.
set -euo pipefail
cd "$(dirname "$0")"

. ./instalar.sh
instalar cmake ninja-build g++ libgtest-dev python3-pyftpdlib vsftpd clang-14 libclang-rt-14-dev curl \
          man-db groff-base

# proftpd, for the tests against real servers, cannot be installed beside
# vsftpd: its package is unpacked into a folder of its own, beside the list
# of packages it depends on, which are installed from that list, whatever
# their names in this release.
if [ ! -f /opt/quelt-proftpd/depende ]; then   # written last, once all is unpacked
  deb=$(mktemp -d)
  (cd "$deb" && apt-get download -qq proftpd-core 2>/dev/null || { apt-get update -qq && apt-get download -qq proftpd-core; })
  dpkg -x "$deb"/proftpd-core_*.deb /opt/quelt-proftpd
  dpkg-deb -f "$deb"/proftpd-core_*.deb Depends >/opt/quelt-proftpd/depende
  rm -rf "$deb"
fi
# "a (>= 1), b | c, d:any" gives a, b and d.
instalar $(tr ',' '\n' </opt/quelt-proftpd/depende | sed 's/|.*//; s/(.*)//; s/:.*//')

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure

# quelt for other systems: built for macOS (x86_64 and arm64) without a
# warning, and built statically on musl and put through the same
# end-to-end tests (all but those of the reply reader and of the test
# support, which run no quelt).
bash otros_sistemas.sh
QUELT_PROGRAMA=$PWD/build-x86_64-linux-musl/quelt \
  ctest --test-dir build --output-on-failure -E '^(Respuesta|Servidor|Terminal)[.]'

# The install puts the program and its manual page in place, and the page
# renders without a warning.
destino=$(mktemp -d)
DESTDIR=$destino cmake --install build --prefix /usr/local >/dev/null
[ -x $destino/usr/local/bin/quelt ] && [ -f $destino/usr/local/share/man/man1/quelt.1 ] ||
  { echo "cmake --install: falta quelt o quelt.1"; exit 1; }
rm -rf "$destino"
if LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l man/quelt.1 2>&1 >/dev/null | grep .; then
  echo "man/quelt.1: avisos"; exit 1
fi

# The benchmark in its small form (4 MiB, two rounds, seconds), so that it
# keeps working: it fails only on a failed transfer or a copy that differs.
QUELT=build/quelt bash bench/medir.sh 4M 2

# The fuzz targets, built with clang, each for a bounded time (seconds in
# QUELT_FUZZ_SEGUNDOS).  New inputs go to a scratch folder; the seeds and
# the inputs of faults once found are in fuzz/corpus/ and run every time.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++-14 -DQUELT_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz
for objetivo in respuesta directorio; do
  nuevos=$(mktemp -d)
  mkdir -p build-fuzz/hallazgos
  if ! build-fuzz/fuzz/${objetivo}_fuzz -max_total_time="${QUELT_FUZZ_SEGUNDOS:-30}" \
       -max_len=4096 -timeout=10 -artifact_prefix="build-fuzz/hallazgos/$objetivo-" \
       "$nuevos" "fuzz/corpus/$objetivo" >build-fuzz/$objetivo.log 2>&1; then
    tail -n 40 build-fuzz/$objetivo.log
    echo "fuzz $objetivo: FALLO (la entrada queda en build-fuzz/hallazgos/)"
    exit 1
  fi
  echo "fuzz $objetivo: $(grep '^Done' build-fuzz/$objetivo.log)"
  rm -rf "$nuevos"
done

# Every test again, on a build of the program and the tests under ASan and
# UBSan.  A report ends the process with status 86 (quelt's own statuses
# are 0 and 1), so the test that meets one fails.
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELT_SANITIZAR=ON >/dev/null
cmake --build build-san
grep -q __asan_init build-san/quelt || { echo "build-san/quelt sin sanitizadores"; exit 1; }
export ASAN_OPTIONS=exitcode=86:halt_on_error=1:detect_leaks=1:log_path=stderr
export UBSAN_OPTIONS=exitcode=86:halt_on_error=1:print_stacktrace=1
ctest --test-dir build-san --output-on-failure
