# The Debian package: made twice, under two umasks, to the same bytes;
# lintian; installed by dpkg into a root and database of its own, checked
# and used there for a session, removed there, nothing of it left.  The
# machine's own dpkg database is not touched.
#   bash paquete.sh    (as root, or in a user namespace where one is root)
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH=$PATH:/usr/sbin:/sbin   # dpkg looks for ldconfig there
ficheros=(/usr/bin/quelt /usr/share/man/man1/quelt.1.gz /usr/share/bash-completion/completions/quelt
          /usr/share/doc/quelt/changelog.gz /usr/share/doc/quelt/copyright)
base_de_dpkg() { find /var/lib/dpkg -type f ! -iname 'lock*' -print0 | sort -z | xargs -0 sha256sum | sha256sum; }
antes=$(base_de_dpkg)
trabajo=$(mktemp -d /tmp/quelt-paquete.XXXXXX)
trap 'rm -rf "$trabajo"' EXIT

export SOURCE_DATE_EPOCH; SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)   # the copies have no git
for mascara in 002 077; do
  mkdir "$trabajo/$mascara"
  tar --exclude='./build*' --exclude=./tmp --exclude=./.git -cf - . | tar -xf - -C "$trabajo/$mascara"
  (umask $mascara; cd "$trabajo/$mascara" && cmake --workflow --preset paquete >/dev/null)
done
deb=$(echo "$trabajo"/002/build-paquete/quelt_*.deb)
cmp "$deb" "$trabajo"/077/build-paquete/quelt_*.deb || { echo "dos paquetes de las mismas fuentes difieren"; exit 1; }
lintian --fail-on error,warning "$deb" 2>/dev/null   # (it warns that it runs as root)

raiz=$trabajo/raiz
mkdir -p "$raiz/var/lib/dpkg/updates" "$raiz/var/lib/dpkg/info"
touch "$raiz/var/lib/dpkg/status"
dpkg --root="$raiz" --force-depends -i "$deb" >"$trabajo/dpkg" 2>&1 || { cat "$trabajo/dpkg"; exit 1; }
diff <(printf '%s\n' "${ficheros[@]}" | sort) \
     <(dpkg --root="$raiz" -L quelt | while read -r f; do [ -d "$raiz$f" ] || echo "$f"; done | sort) ||
  { echo "dpkg no instala justo esos ficheros"; exit 1; }
# Hardened as Debian's own programs (stack clash and CET aside, which
# bookworm's hardening-check cannot confirm even in curl).
hardening-check --nocfprotection "$raiz/usr/bin/quelt" >"$trabajo/endurecido" ||
  { cat "$trabajo/endurecido"; echo "quelt: sin endurecer"; exit 1; }
if LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$raiz/usr/share/man/man1/quelt.1.gz" 2>&1 >/dev/null | grep .; then
  echo "quelt.1: avisos"; exit 1
fi
# What bash completes for quelt's argument once it has read the completion.
echo "127.0.0.2 servidor-de-prueba" >"$trabajo/hosts"
completado=$(HOSTFILE="$trabajo/hosts" bash --norc --noprofile -c \
  '. "$1" && orden=$(complete -p quelt) && orden=${orden#complete } && eval "compgen ${orden% quelt} servidor-de"' \
  - "$raiz/usr/share/bash-completion/completions/quelt") ||
  { echo "bash: sin completado para quelt"; exit 1; }
[ "$completado" = servidor-de-prueba ] || { echo "bash completa \"$completado\", no el nombre del servidor"; exit 1; }

bash tests/sesion_demo.sh "$raiz/usr/bin/quelt"

dpkg --root="$raiz" -r quelt >/dev/null
for f in "${ficheros[@]}" /usr/share/doc/quelt; do
  [ ! -e "$raiz$f" ] || { echo "quitado el paquete, queda $f"; exit 1; }
done
! dpkg --root="$raiz" -s quelt >/dev/null 2>&1 || { echo "quitado el paquete, sigue en la base de datos de dpkg"; exit 1; }
[ "$(base_de_dpkg)" = "$antes" ] || { echo "la base de datos de dpkg de la maquina ha cambiado"; exit 1; }
echo "paquete: $(basename "$deb") hecho dos veces igual, instalado en una raiz propia, usado y quitado"
