# One session of a quelt against the demo server on 127.0.0.2:21: login, a
# listing, a binary file fetched in type I and compared byte for byte, QUIT.
#   bash sesion_demo.sh [EMULATOR] QUELT    (absolute paths)
set -euo pipefail
cd "$(dirname "$0")/.."
trabajo=$(mktemp -d /tmp/quelt-sesion.XXXXXX)
servidor=
trap '[ -z "$servidor" ] || kill $servidor; rm -rf "$trabajo"' EXIT
servidor=$(/usr/bin/python3 demo/servidor.py "$trabajo/servidor" 1000000)
mkdir "$trabajo/local"
# Name, password, 2 (list), 3 (type I), 4 datos.bin (get), 0 (quit).
printf 'demo\ndemo\n2\n3\n4\ndatos.bin\n0\n' |
  (cd "$trabajo/local" && setsid -w "$@" 127.0.0.2) >"$trabajo/sesion" 2>&1 ||
  { cat "$trabajo/sesion"; echo "quelt: la sesion fallo"; exit 1; }
for visto in '230 Login successful' ' leeme[.]txt' '200 Type set to: Binary' '221 Goodbye'; do
  grep -q "$visto" "$trabajo/sesion" || { cat "$trabajo/sesion"; echo "quelt: falta \"$visto\""; exit 1; }
done
cmp "$trabajo/servidor/datos.bin" "$trabajo/local/datos.bin"
