"""The demo's FTP server: pyftpdlib on 127.0.0.2:21, one user, one folder.

Run with Debian's /usr/bin/python3:  servidor.py FOLDER
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

autorizador = DummyAuthorizer()
autorizador.add_user("demo", "demo", sys.argv[1], perm="elradfmwMT")
FTPHandler.authorizer = autorizador
FTPHandler.banner = "Servidor de demostracion de quelt."
FTPServer(("127.0.0.2", 21), FTPHandler).serve_forever()
