#!/usr/bin/env bash
# Builds quelt alone (without the tests, so without GoogleTest), starts a
# local FTP server on 127.0.0.2 (user demo, password demo) that serves a
# copy of demo/muestra, runs quelt against it, and stops the server when
# quelt ends.  Installs first whatever this machine lacks.
set -euo pipefail
cd "$(dirname "$0")"
fuentes=$PWD

. ./instalar.sh
instalar cmake ninja-build g++ python3-pyftpdlib
cmake --preset demo >/dev/null
cmake --build --preset demo >/dev/null

# The server works on a copy, so that uploads leave the sample as it was,
# with a binary file made afresh; quelt runs in a folder of its own, where
# downloads land and a file waits to be uploaded.
trabajo=$(mktemp -d /tmp/quelt-demo.XXXXXX)
servidor=
trap '[ -z "$servidor" ] || kill $servidor; rm -rf "$trabajo"' EXIT
cp -r demo/muestra "$trabajo/servidor"
head -c 20000 /dev/urandom > "$trabajo/servidor/datos.bin"
mkdir "$trabajo/local"
echo "Un fichero para subir al servidor." > "$trabajo/local/subir.txt"
servidor=$(/usr/bin/python3 demo/servidor.py "$trabajo/servidor")

echo "Servidor de demostracion en 127.0.0.2 (usuario demo, clave demo)."
echo "quelt trabaja en $trabajo/local (con subir.txt para enviar);"
echo "esa carpeta se borra al salir."
echo "La sesion empieza en tipo A, que cambia los fines de linea: elige 3"
echo "(tipo I) antes de traer datos.bin, o no llegaran sus 20000 bytes tal cual."
echo "El menu muestra el directorio que da PWD; su respuesta no se ve."
echo "Los nombres son de hasta 19 caracteres (usuario, directorio) o 39 (fichero)."
cd "$trabajo/local"
status=0
"$fuentes/build-demo/quelt" 127.0.0.2 || status=$?
exit $status
