# The Debian package of this build, which is its install rules at work:
# made with cpack, and made again from a copy of the sources built in
# another folder under another umask, to the same bytes; checked with
# lintian and hardening-check; unpacked: its files, its manual page
# rendering without a warning, its bash completion offering host names;
# installed with dpkg, its quelt used for one session against the demo
# server (login, a listing, a binary file fetched in type I and compared
# byte for byte), removed, and nothing of it left.  Where a quelt that this
# check did not install is there already, it leaves it alone, skips the
# install and the removal, and runs the session with the unpacked quelt.
# As root; binds 127.0.0.2:21, as the demo does.
#   bash paquete.sh BUILD
set -euo pipefail
construido=$(realpath "$1")
cd "$(dirname "$0")/.."
ficheros=(/usr/bin/quelt /usr/share/man/man1/quelt.1.gz /usr/share/bash-completion/completions/quelt
          /usr/share/doc/quelt/changelog.gz /usr/share/doc/quelt/copyright)

# Written before dpkg -i and removed after dpkg -r: a quelt that a killed
# run of this check left installed is known by it, and only such a one is
# removed here.
marca=/var/lib/quelt-prueba-instalado
if [ -e "$marca" ]; then
  echo "quitando el quelt que dejo instalado una prueba interrumpida"
  ! dpkg -s quelt >/dev/null 2>&1 || dpkg -r quelt >/dev/null
  rm -f "$marca"
fi
instalar=1
if dpkg -s quelt >/dev/null 2>&1 || [ -e /usr/bin/quelt ]; then
  instalar=
fi
trabajo=$(mktemp -d /tmp/quelt-paquete.XXXXXX)
instalado=
limpiar() {
  if [ -n "$instalado" ]; then dpkg -r quelt >/dev/null && rm -f "$marca"; fi
  rm -rf "$trabajo"
}
trap 'limpiar || true' EXIT

# Two packages of one commit are the same bytes: this build's, and one of a
# copy of the sources, built in another folder under another umask seconds
# later, dated from git here as cpack dates this build's (cmake/fecha.cmake).
# cpack runs under umask 022, as dpkg-buildpackage does: the members of the
# archive take their modes from it.
(umask 022; cpack --config "$construido/CPackConfig.cmake" -G DEB -B "$trabajo/uno" >/dev/null)
mkdir "$trabajo/fuentes"
tar --exclude='./build*' --exclude=./tmp --exclude=./.git -cf - . | tar -xf - -C "$trabajo/fuentes"
(umask 077; cd "$trabajo/fuentes" && cmake --preset demo >/dev/null && cmake --build build-demo >/dev/null)
(umask 022; export SOURCE_DATE_EPOCH; SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
 cpack --config "$trabajo/fuentes/build-demo/CPackConfig.cmake" -G DEB -B "$trabajo/dos" >/dev/null)
deb=$(echo "$trabajo"/uno/quelt_*.deb)
cmp "$deb" "$trabajo"/dos/quelt_*.deb || { echo "dos paquetes de las mismas fuentes difieren"; exit 1; }

lintian --fail-on error,warning "$deb" 2>/dev/null   # (it warns that it runs as root)
dpkg-deb -x "$deb" "$trabajo/raiz"
diff <(printf '%s\n' "${ficheros[@]}" | sort) <(cd "$trabajo/raiz" && find . ! -type d | cut -c2- | sort) ||
  { echo "el paquete no tiene justo esos ficheros"; exit 1; }
# Hardened as Debian's own programs (stack clash and CET aside, which
# bookworm's hardening-check cannot confirm even in curl).
hardening-check --nocfprotection "$trabajo/raiz/usr/bin/quelt" >"$trabajo/endurecido" ||
  { cat "$trabajo/endurecido"; echo "quelt: sin endurecer"; exit 1; }
if LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$trabajo/raiz/usr/share/man/man1/quelt.1.gz" 2>&1 >/dev/null | grep .; then
  echo "quelt.1: avisos"; exit 1
fi
# What bash completes for quelt's argument once it has read the completion.
echo "127.0.0.2 servidor-de-prueba" >"$trabajo/hosts"
completado=$(HOSTFILE="$trabajo/hosts" bash --norc --noprofile -c \
  '. "$1" && orden=$(complete -p quelt) && orden=${orden#complete } && eval "compgen ${orden% quelt} servidor-de"' \
  - "$trabajo/raiz/usr/share/bash-completion/completions/quelt") ||
  { echo "bash: sin completado para quelt"; exit 1; }
[ "$completado" = servidor-de-prueba ] || { echo "bash completa \"$completado\", no el nombre del servidor"; exit 1; }

if [ -n "$instalar" ]; then
  touch "$marca"
  dpkg -i "$deb" >/dev/null
  instalado=1
  diff <(printf '%s\n' "${ficheros[@]}" | sort) \
       <(dpkg -L quelt | while read -r f; do [ -d "$f" ] || echo "$f"; done | sort) ||
    { echo "dpkg no instala justo esos ficheros"; exit 1; }
  if LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings quelt 2>&1 >/dev/null | grep .; then
    echo "quelt.1 instalado: avisos"; exit 1
  fi
  quelt=/usr/bin/quelt
else
  echo "quelt ya esta instalado, y no por esta prueba: se deja, y ni se instala ni se quita el paquete;"
  echo "la sesion usa el quelt del paquete desempaquetado"
  quelt=$trabajo/raiz/usr/bin/quelt
fi

bash tests/sesion_demo.sh "$quelt"

if [ -z "$instalar" ]; then
  echo "paquete: $(basename "$deb") probado sin instalarlo"; exit 0
fi
dpkg -r quelt >/dev/null
instalado=
rm -f "$marca"
for f in "${ficheros[@]}" /usr/share/doc/quelt; do
  [ ! -e "$f" ] || { echo "dpkg -r deja $f"; exit 1; }
done
if dpkg -s quelt >/dev/null 2>&1; then
  echo "dpkg -r deja quelt en la base de datos de dpkg"; exit 1
fi
echo "paquete: $(basename "$deb") instalado, usado y quitado"
