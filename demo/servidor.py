"""The demo's FTP server: pyftpdlib on 127.0.0.2:21, user demo, password demo.

Run with Debian's /usr/bin/python3:  servidor.py FOLDER SIZE
It serves FOLDER, made there as a copy of demo/muestra with a binary file
datos.bin of SIZE random bytes, so that uploads leave the sample as it was.
It returns once the server listens, printing the server's process id, so
that whoever starts it needs no wait of its own; the server runs on in the
background until it is sent SIGTERM.
"""
import os
import shutil
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

carpeta = sys.argv[1]
shutil.copytree(os.path.join(os.path.dirname(__file__), "muestra"), carpeta)
with open(os.path.join(carpeta, "datos.bin"), "wb") as datos:
    datos.write(os.urandom(int(sys.argv[2])))
autorizador = DummyAuthorizer()
autorizador.add_user("demo", "demo", carpeta, perm="elradfmwMT")
FTPHandler.authorizer = autorizador
FTPHandler.banner = "Servidor de demostracion de quelt."
try:
    servidor = FTPServer(("127.0.0.2", 21), FTPHandler)
except OSError as e:
    sys.exit(f"No se puede escuchar en 127.0.0.2:21 ({e}); "
             "si hay otro servidor, paralo antes.")
pid = os.fork()
if pid:
    print(pid)
    sys.exit(0)
# Nothing of ours stays on the caller's output, which may be waiting for its end.
nulo = os.open(os.devnull, os.O_RDWR)
for fd in (0, 1, 2):
    os.dup2(nulo, fd)
servidor.serve_forever()
