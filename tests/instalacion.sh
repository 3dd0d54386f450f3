# The install puts the program, its manual page and the package's papers
# in place, and the page renders without a warning.
#   sh instalacion.sh BUILD
set -eu
destino=$(mktemp -d)
trap 'rm -rf "$destino"' EXIT
DESTDIR=$destino cmake --install "$1" --prefix /usr/local >/dev/null
cd "$destino/usr/local"
for f in bin/quelt share/man/man1/quelt.1.gz share/doc/quelt/copyright share/doc/quelt/changelog.gz; do
  [ -s $f ] || { echo "cmake --install: falta $f"; exit 1; }
done
[ -x bin/quelt ] || { echo "cmake --install: bin/quelt no es ejecutable"; exit 1; }
if LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l share/man/man1/quelt.1.gz 2>&1 >/dev/null | grep .; then
  echo "quelt.1: avisos"; exit 1
fi
