# The Debian package of this build, which is its install rules at work:
# made with cpack, checked with lintian, installed with dpkg (its manual
# page rendering without a warning), used for one session against the demo
# server (login, a listing, a binary file fetched in type I and compared
# byte for byte), removed, and nothing of it left.  As root; binds 127.0.0.2:21, as the
# demo does.
#   bash paquete.sh BUILD
set -euo pipefail
construido=$(realpath "$1")
cd "$(dirname "$0")/.."
ficheros=(/usr/bin/quelt /usr/share/man/man1/quelt.1.gz
          /usr/share/doc/quelt/changelog.gz /usr/share/doc/quelt/copyright)

if dpkg -s quelt >/dev/null 2>&1 || [ -e /usr/bin/quelt ]; then
  echo "quelt ya esta instalado: esta prueba instala el paquete y lo quita"; exit 1
fi
trabajo=$(mktemp -d /tmp/quelt-paquete.XXXXXX)
servidor= instalado=
limpiar() {
  [ -z "$servidor" ] || kill $servidor
  [ -z "$instalado" ] || dpkg -r quelt >/dev/null
  rm -rf "$trabajo"
}
trap 'limpiar || true' EXIT

cpack --config "$construido/CPackConfig.cmake" -G DEB -B "$trabajo" >/dev/null
deb=$(echo "$trabajo"/quelt_*.deb)
lintian --fail-on error,warning "$deb" 2>/dev/null   # (it warns that it runs as root)
# Hardened as Debian's own programs (stack clash and CET aside, which
# bookworm's hardening-check cannot confirm even in curl).
dpkg-deb -x "$deb" "$trabajo/raiz"
hardening-check --nocfprotection "$trabajo/raiz/usr/bin/quelt" >"$trabajo/endurecido" ||
  { cat "$trabajo/endurecido"; echo "quelt: sin endurecer"; exit 1; }
dpkg -i "$deb" >/dev/null
instalado=1
diff <(printf '%s\n' "${ficheros[@]}" | sort) \
     <(dpkg -L quelt | while read -r f; do [ -d "$f" ] || echo "$f"; done | sort) ||
  { echo "el paquete no tiene justo esos ficheros"; exit 1; }
if LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings quelt 2>&1 >/dev/null | grep .; then
  echo "quelt.1: avisos"; exit 1
fi

cp -r demo/muestra "$trabajo/servidor"
head -c 1000000 /dev/urandom >"$trabajo/servidor/datos.bin"
mkdir "$trabajo/local"
servidor=$(/usr/bin/python3 demo/servidor.py "$trabajo/servidor")
# Name, password, 2 (list), 3 (type I), 4 datos.bin (get), 0 (quit).
printf 'demo\ndemo\n2\n3\n4\ndatos.bin\n0\n' |
  (cd "$trabajo/local" && setsid -w /usr/bin/quelt 127.0.0.2) >"$trabajo/sesion" 2>&1 ||
  { cat "$trabajo/sesion"; echo "quelt: la sesion fallo"; exit 1; }
for visto in '230 Login successful' ' leeme[.]txt' '200 Type set to: Binary' '221 Goodbye'; do
  grep -q "$visto" "$trabajo/sesion" || { cat "$trabajo/sesion"; echo "quelt: falta \"$visto\""; exit 1; }
done
cmp "$trabajo/servidor/datos.bin" "$trabajo/local/datos.bin"

dpkg -r quelt >/dev/null
instalado=
for f in "${ficheros[@]}" /usr/share/doc/quelt; do
  [ ! -e "$f" ] || { echo "dpkg -r deja $f"; exit 1; }
done
if dpkg -s quelt >/dev/null 2>&1; then
  echo "dpkg -r deja quelt en la base de datos de dpkg"; exit 1
fi
echo "paquete: $(basename "$deb") instalado, usado y quitado"
