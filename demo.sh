#!/usr/bin/env bash
# quelt against a demo FTP server on 127.0.0.2 (user demo, password demo),
# in a scratch folder that goes, with the server, when quelt ends.
set -euo pipefail
cd "$(dirname "$0")"
. ./instalar.sh
instalar cmake ninja-build g++ python3-pyftpdlib
cmake --preset paquete >/dev/null
cmake --build --preset demo >/dev/null
trabajo=$(mktemp -d /tmp/quelt-demo.XXXXXX)
servidor=
trap '[ -z "$servidor" ] || kill $servidor; rm -rf "$trabajo"' EXIT
servidor=$(/usr/bin/python3 demo/servidor.py "$trabajo/servidor" 20000)
mkdir "$trabajo/local"
echo "Un fichero para subir al servidor." >"$trabajo/local/subir.txt"
echo "Servidor de demostracion en 127.0.0.2 (usuario demo, clave demo)."
echo "quelt trabaja en $trabajo/local, con subir.txt para enviar."
echo "Elige 3 (tipo I) antes de traer datos.bin, o no llegaran sus 20000 bytes tal cual."
quelt=$PWD/build-paquete/quelt
cd "$trabajo/local"
"$quelt" 127.0.0.2
