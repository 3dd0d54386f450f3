# The release of a static build as a user meets it: NAME.tar.gz unpacked
# into a scratch folder holds NAME/ with just its four files, its quelt
# static and stripped, which runs (in EMULATOR, for another processor) one
# session against the demo server: login, a listing, a binary file fetched
# in type I and compared byte for byte, the session of paquete.sh.  Binds
# 127.0.0.2:21, as the demo does.
#   bash archivo.sh NAME.tar.gz [EMULATOR]
set -euo pipefail
archivo=$(realpath "$1")
emulador=${2:-}
nombre=$(basename "$archivo" .tar.gz)
cd "$(dirname "$0")/.."
trabajo=$(mktemp -d /tmp/quelt-archivo.XXXXXX)
servidor=
trap '[ -z "$servidor" ] || kill $servidor; rm -rf "$trabajo"' EXIT

tar xzf "$archivo" -C "$trabajo"
diff <(printf "$nombre/%s\n" LICENSE README.md quelt quelt.1) <(cd "$trabajo" && find . -type f -printf '%P\n' | sort) ||
  { echo "$nombre.tar.gz no tiene justo esos ficheros"; exit 1; }
quelt=$trabajo/$nombre/quelt
file "$quelt" | grep -Eq 'static(ally|-pie) linked, stripped$' ||
  { file "$quelt"; echo "quelt no es estatico y sin simbolos"; exit 1; }

cp -r demo/muestra "$trabajo/servidor"
head -c 1000000 /dev/urandom >"$trabajo/servidor/datos.bin"
mkdir "$trabajo/local"
servidor=$(/usr/bin/python3 demo/servidor.py "$trabajo/servidor")
# Name, password, 2 (list), 3 (type I), 4 datos.bin (get), 0 (quit).
printf 'demo\ndemo\n2\n3\n4\ndatos.bin\n0\n' |
  (cd "$trabajo/local" && setsid -w $emulador "$quelt" 127.0.0.2) >"$trabajo/sesion" 2>&1 ||
  { cat "$trabajo/sesion"; echo "quelt: la sesion fallo"; exit 1; }
for visto in '230 Login successful' ' leeme[.]txt' '200 Type set to: Binary' '221 Goodbye'; do
  grep -q "$visto" "$trabajo/sesion" || { cat "$trabajo/sesion"; echo "quelt: falta \"$visto\""; exit 1; }
done
cmp "$trabajo/servidor/datos.bin" "$trabajo/local/datos.bin"
echo "archivo: $nombre.tar.gz desempaquetado y usado"
