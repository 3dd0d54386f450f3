#!/usr/bin/env bash
# Builds quelt, starts a local FTP server on 127.0.0.2 (user demo, password
# demo) that serves a copy of demo/muestra, runs quelt against it, and stops
# the server when quelt ends.  Installs first whatever this machine lacks.
set -euo pipefail
cd "$(dirname "$0")"

paquetes=(cmake ninja-build g++ libgtest-dev python3-pyftpdlib)
faltan=()
for p in "${paquetes[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || faltan+=("$p")
done
if [ ${#faltan[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${faltan[@]}" >/dev/null
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build >/dev/null

# The server works on a copy, so that uploads leave the sample as it was;
# downloads land in a folder of their own.
trabajo=$(mktemp -d /tmp/quelt-demo.XXXXXX)
cp -r demo/muestra "$trabajo/servidor"
head -c 20000 /dev/urandom > "$trabajo/servidor/datos.bin"
mkdir "$trabajo/local"
/usr/bin/python3 demo/servidor.py "$trabajo/servidor" >"$trabajo/servidor.log" 2>&1 &
servidor=$!
trap 'kill $servidor 2>/dev/null; wait $servidor 2>/dev/null; rm -rf "$trabajo"' EXIT
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.2/21) 2>/dev/null && break
  sleep 0.1
done

echo "Servidor de demostracion en 127.0.0.2 (usuario demo, clave demo)."
echo "Las descargas quedan en $trabajo/local."
cd "$trabajo/local"
"$OLDPWD/build/quelt" 127.0.0.2
