# The release of a static build as a user meets it: NAME.tar.gz unpacked
# into a scratch folder holds NAME/ with just its four files, its quelt
# static and stripped, which runs (in EMULATOR, for another processor) the
# session of sesion_demo.sh, as paquete.sh's does.
#   bash archivo.sh NAME.tar.gz [EMULATOR]
set -euo pipefail
archivo=$(realpath "$1")
emulador=${2:-}
nombre=$(basename "$archivo" .tar.gz)
cd "$(dirname "$0")/.."
trabajo=$(mktemp -d /tmp/quelt-archivo.XXXXXX)
trap 'rm -rf "$trabajo"' EXIT

tar xzf "$archivo" -C "$trabajo"
diff <(printf "$nombre/%s\n" LICENSE README.md quelt quelt.1) <(cd "$trabajo" && find . -type f -printf '%P\n' | sort) ||
  { echo "$nombre.tar.gz no tiene justo esos ficheros"; exit 1; }
quelt=$trabajo/$nombre/quelt
file "$quelt" | grep -Eq 'static(ally|-pie) linked, stripped$' ||
  { file "$quelt"; echo "quelt no es estatico y sin simbolos"; exit 1; }

bash tests/sesion_demo.sh $emulador "$quelt"
echo "archivo: $nombre.tar.gz desempaquetado y usado"
