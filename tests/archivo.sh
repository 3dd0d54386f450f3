# The release of a static build as a user meets it: NAME.tar.gz holds
# NAME/ with just its four files, its quelt a hardened static PIE, which
# runs (in EMULATOR, for another processor) the session of sesion_demo.sh.
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
file "$quelt" | grep -q 'static-pie linked, stripped$' ||
  { file "$quelt"; echo "quelt no es PIE estatico y sin simbolos"; exit 1; }
# hardening-check sees a stack protector only in what a program imports,
# and a static one imports nothing: on x86_64 its canary at %fs:0x28 shows.
hardening-check --nostackprotector --nofortify --nocfprotection "$quelt" >"$trabajo/endurecido" 2>&1 ||
  { cat "$trabajo/endurecido"; echo "quelt: sin endurecer"; exit 1; }
! file "$quelt" | grep -q x86-64 || objdump -d "$quelt" | grep '%fs:0x28' >/dev/null ||
  { echo "quelt: sin protector de pila"; exit 1; }

bash tests/sesion_demo.sh $emulador "$quelt"
echo "archivo: $nombre.tar.gz desempaquetado y usado"
