#!/usr/bin/python3
"""Measures quelt against curl on a local vsftpd: download into a file and
into /dev/null, upload, and as a ceiling for the upload a raw sender that
writes every 1 KiB block with a write() of its own.  Every transfer is
checked; the speeds only inform and never fail the run.

Usage: medir.py QUELT EMISOR MEDIDA SIZE ROUNDS   (run by medir.sh)
"""
import os
import pty
import pwd
import select
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

SERVIDOR = '127.0.6.1'
MIB = 1 << 20
SILENCIO = 300     # seconds


def tamano(texto):
    unidades = {'K': 1 << 10, 'M': 1 << 20, 'G': 1 << 30}
    texto = texto.upper().rstrip('IB')
    if texto[-1:] in unidades:
        return int(float(texto[:-1]) * unidades[texto[-1]])
    return int(texto)


def legible(n):
    return f'{n // (1 << 30)} GiB' if n % (1 << 30) == 0 else \
        f'{n // MIB} MiB' if n % MIB == 0 else f'{n} bytes'


class Fallo(Exception):
    pass


def direccion_local():
    """Our own address on the route to the server: what PORT must carry."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.connect((SERVIDOR, 21))
    ip = s.getsockname()[0]
    s.close()
    return ip


MEDIDA = None         # bench/medida.cpp built: wait4 figures of a command
CIFRAS = None         # the file where it writes them


def medido(argv):
    return [MEDIDA, CIFRAS] + argv


def resultado(t0, estado, tam):
    """Wall time from here; status, CPU time and peak RSS from medida."""
    t = time.monotonic() - t0
    with open(CIFRAS) as f:
        codigo, usuario, sistema, rss = f.read().split()
    os.unlink(CIFRAS)
    return {'mbs': tam / t / 1e6, 'cpu': float(usuario) + float(sistema), 'rss': int(rss) / 1024,
            'ok': os.waitstatus_to_exitcode(estado) == 0 and codigo == '0'}


def lanzar(argv, cwd, tam):
    """Runs argv to its end; wall time, CPU time and peak RSS from wait4."""
    t0 = time.monotonic()
    pid = os.fork()
    if pid == 0:
        try:
            os.chdir(cwd)
            os.execv(MEDIDA, medido(argv))
        finally:
            os._exit(127)
    _, estado = os.waitpid(pid, 0)
    return resultado(t0, estado, tam)


def quelt(programa, cwd, opcion, nombre, tam):
    """Drives quelt through a pseudo-terminal as a person would: logs in,
    switches to type I, runs one transfer and leaves."""
    guion = [(b'Nombre: ', b'anonymous\n'), (b'Clave: ', b'x\n'),
             (b'Opcion: ', b'3\n'), (b'Opcion: ', opcion + b'\n'),
             (b'Nombre del fichero: ', nombre + b'\n'), (b'Opcion: ', b'0\n')]
    t0 = time.monotonic()
    pid, fd = pty.fork()
    if pid == 0:
        try:
            os.chdir(cwd)
            os.execv(MEDIDA, medido([programa, SERVIDOR]))
        finally:
            os._exit(127)
    texto, pos, paso, marca = bytearray(), 0, 0, 0
    while True:
        # A quelt silent for this long is stuck: the run fails, it does
        # not hang.
        if not select.select([fd], [], [], SILENCIO)[0]:
            os.kill(pid, signal.SIGKILL)
            break
        try:
            trozo = os.read(fd, 65536)
        except OSError:          # EIO: the terminal's last user has gone
            break
        if not trozo:
            break
        texto += trozo
        while paso < len(guion) and (i := texto.find(guion[paso][0], pos)) >= 0:
            pos = i + len(guion[paso][0])
            os.write(fd, guion[paso][1])
            paso += 1
            if paso == 5:
                marca = len(texto)
    _, estado = os.waitpid(pid, 0)
    os.close(fd)
    r = resultado(t0, estado, tam)
    dialogo = bytes(texto)
    r['ok'] = r['ok'] and paso == len(guion) and b'Actual: I' in dialogo \
        and b'\n226' in dialogo[marca:]
    if not r['ok']:
        sys.stderr.write(dialogo.decode(errors='replace'))
    return r


def respuesta(f):
    linea = f.readline()
    codigo = linea[:3]
    while linea[3:4] != b' ' or linea[:3] != codigo:
        linea = f.readline()
        if not linea:
            raise Fallo('control connection closed')
    return int(codigo)


def techo(emisor, origen, nombre, tam, bloque=1024):
    """The upload ceiling: our own minimal STOR whose data goes out from a
    small C++ sender, one write() per block."""
    t0 = time.monotonic()
    c = socket.create_connection((SERVIDOR, 21))
    f = c.makefile('rb')

    def orden(texto, *esperado):
        c.sendall(texto.encode() + b'\r\n')
        if (codigo := respuesta(f)) // 100 not in esperado:
            raise Fallo(f'{texto}: unexpected reply {codigo}')
        return codigo

    respuesta(f)
    if orden('USER anonymous', 2, 3) // 100 == 3:
        orden('PASS x', 2)
    orden('TYPE I', 2)
    escucha = socket.socket()
    escucha.bind((c.getsockname()[0], 0))
    escucha.listen(1)
    ip, puerto = escucha.getsockname()
    orden('PORT ' + ip.replace('.', ',') + f',{puerto >> 8},{puerto & 255}', 2)
    orden('STOR ' + nombre, 1)
    datos, _ = escucha.accept()
    escucha.close()
    pid = os.fork()
    if pid == 0:
        try:
            os.dup2(datos.fileno(), 1)
            os.execv(MEDIDA, medido([emisor, origen, str(bloque)]))
        finally:
            os._exit(127)
    datos.close()
    _, estado = os.waitpid(pid, 0)
    cierre = respuesta(f)
    orden('QUIT', 2)
    c.close()
    r = resultado(t0, estado, tam)
    r['ok'] = r['ok'] and cierre == 226
    return r


def iguales(a, b):
    return subprocess.run(['cmp', '-s', a, b]).returncode == 0


class Banco:
    def __init__(self, quelt, emisor, base, tam):
        self.quelt, self.emisor, self.tam = quelt, emisor, tam
        self.raiz = os.path.join(base, 'raiz')       # what the server shows
        self.dq = os.path.join(base, 'q')            # quelt's working folder
        self.dn = os.path.join(base, 'n')            # 'datos' there is /dev/null
        self.dc = os.path.join(base, 'c')            # curl's folder
        self.registro = os.path.join(base, 'vsftpd.log')
        for d in (self.dq, self.dn, self.dc):
            os.makedirs(d, exist_ok=True)
        self.origen = os.path.join(self.raiz, 'datos')
        with open(self.origen, 'wb') as f:
            resto = tam
            while resto:
                n = min(resto, 4 * MIB)
                f.write(os.urandom(n))
                resto -= n
        os.chmod(self.origen, 0o644)
        # The same bytes to upload, under the name quelt sends.
        self.envio = os.path.join(self.dq, 'sub', 'envio')
        os.makedirs(os.path.dirname(self.envio), exist_ok=True)
        os.link(self.origen, self.envio)
        nulo = os.path.join(self.dn, 'datos')
        if not os.path.islink(nulo):
            os.symlink('/dev/null', nulo)
        self.ip = direccion_local()
        self.url = f'ftp://{SERVIDOR}/'
        self.curl = ['/usr/bin/curl', '-sS', '--ftp-port', self.ip, '--disable-eprt']

    def comprobar(self, r, que, recibido=None):
        if recibido is not None:
            r['ok'] = r['ok'] and iguales(self.origen, recibido)
            if os.path.exists(recibido):
                os.unlink(recibido)
        if not r['ok']:
            raise Fallo(que + ': transfer failed or the copy differs')
        return r

    def entero(self, r, que):
        """A download into /dev/null is checked by the server's log: it
        must record the whole file as sent."""
        with open(self.registro, 'rb') as f:
            ultima = f.read().splitlines()[-1]
        r['ok'] = r['ok'] and b'OK DOWNLOAD' in ultima and f', {self.tam} bytes,'.encode() in ultima
        return self.comprobar(r, que)

    def ronda(self, primero_quelt):
        t, u = self.tam, {}
        ficq, ficc = os.path.join(self.dq, 'datos'), os.path.join(self.dc, 'datos')
        subido = os.path.join(self.raiz, 'sub', 'envio')
        pares = [
            ('get', lambda: self.comprobar(quelt(self.quelt, self.dq, b'4', b'datos', t), 'quelt get', ficq),
                    lambda: self.comprobar(lanzar(self.curl + ['-o', ficc, self.url + 'datos'], self.dc, t),
                                           'curl get', ficc)),
            ('nul', lambda: self.entero(quelt(self.quelt, self.dn, b'4', b'datos', t), 'quelt get /dev/null'),
                    lambda: self.entero(lanzar(self.curl + ['-o', '/dev/null', self.url + 'datos'], self.dc, t),
                                        'curl get /dev/null')),
            ('put', lambda: self.comprobar(quelt(self.quelt, self.dq, b'5', b'sub/envio', t), 'quelt put', subido),
                    lambda: self.comprobar(lanzar(self.curl + ['-T', self.envio, self.url + 'sub/envio'], self.dc, t),
                                           'curl put', subido)),
        ]
        for clave, fq, fc in pares:
            if primero_quelt:
                u['q' + clave] = fq()
                u['c' + clave] = fc()
            else:
                u['c' + clave] = fc()
                u['q' + clave] = fq()
        u['techo'] = self.comprobar(techo(self.emisor, self.origen, 'sub/envio', t), '1 KiB-write sender', subido)
        return u


def mediana(valores):
    return statistics.median(valores), min(valores), max(valores)


def fmt(valores, forma):
    m, a, b = mediana(valores)
    return f'{forma.format(m)} [{forma.format(a)}-{forma.format(b)}]'


FILAS = [('download to file', 'get'), ('download to /dev/null', 'nul'), ('upload', 'put')]


def informe(rondas, titulo):
    print(f'\n{titulo}: medians over {len(rondas)} rounds [min-max]')
    print(f'  {"":24}{"quelt":>22}{"curl":>22}{"quelt/curl":>24}')
    for nombre, k in FILAS:
        q = [r['q' + k]['mbs'] for r in rondas]
        c = [r['c' + k]['mbs'] for r in rondas]
        cociente = [a / b for a, b in zip(q, c)]
        print(f'  {nombre + " MB/s":24}{fmt(q, "{:.0f}"):>22}{fmt(c, "{:.0f}"):>22}{fmt(cociente, "{:.2f}x"):>24}')
    t = [r['techo']['mbs'] for r in rondas]
    frac = [r['qput']['mbs'] / r['techo']['mbs'] for r in rondas]
    print(f'  {"1 KiB-write ceiling MB/s":24}{fmt(t, "{:.0f}"):>22}{"":22}{"quelt/ceiling " + fmt(frac, "{:.2f}"):>24}')
    for nombre, k in FILAS:
        q = [r['q' + k]['cpu'] for r in rondas]
        c = [r['c' + k]['cpu'] for r in rondas]
        print(f'  {nombre + " CPU s":24}{fmt(q, "{:.3f}"):>22}{fmt(c, "{:.3f}"):>22}')
    print(f'  {"ceiling sender CPU s":24}{fmt([r["techo"]["cpu"] for r in rondas], "{:.3f}"):>22}')
    for nombre, k in FILAS:
        q = [r['q' + k]['rss'] for r in rondas]
        c = [r['c' + k]['rss'] for r in rondas]
        print(f'  {nombre + " peak RSS MiB":24}{fmt(q, "{:.2f}"):>22}{fmt(c, "{:.2f}"):>22}')
    return {
        'get': mediana([r['qget']['mbs'] / r['cget']['mbs'] for r in rondas])[0],
        'nul': mediana([r['qnul']['mbs'] / r['cnul']['mbs'] for r in rondas])[0],
        'put': mediana([r['qput']['mbs'] / r['cput']['mbs'] for r in rondas])[0],
        'techo': mediana(frac)[0],
        'rssq': max(r['q' + k]['rss'] for r in rondas for _, k in FILAS),
        'rssc': max(r['c' + k]['rss'] for r in rondas for _, k in FILAS),
    }


def linea_ronda(i, r):
    def par(k):
        return f"{r['q' + k]['mbs']:.0f}/{r['c' + k]['mbs']:.0f} {r['q' + k]['mbs'] / r['c' + k]['mbs']:.2f}x"
    print(f"  {i:>2}  get {par('get')}  null {par('nul')}  put {par('put')}"
          f"  ceiling {r['techo']['mbs']:.0f} ({r['qput']['mbs'] / r['techo']['mbs']:.2f})"
          f"  cpu q {r['qget']['cpu']:.2f}/{r['qput']['cpu']:.2f} c {r['cget']['cpu']:.2f}/{r['cput']['cpu']:.2f}"
          f"  rss q {max(r['qget']['rss'], r['qput']['rss']):.1f} c {max(r['cget']['rss'], r['cput']['rss']):.1f}",
          flush=True)


def serie(programa, emisor, base, tam, rondas, detalle):
    banco = Banco(programa, emisor, base, tam)
    if detalle:
        print(f'\n{legible(tam)}, per round: MB/s quelt/curl ratio; ceiling MB/s (quelt upload/ceiling);'
              f' CPU s get/put; peak RSS MiB', flush=True)
    resultados = []
    for i in range(rondas):
        r = banco.ronda(i % 2 == 0)
        resultados.append(r)
        if detalle:
            linea_ronda(i + 1, r)
    os.unlink(banco.origen)
    os.unlink(banco.envio)
    return informe(resultados, legible(tam))


def arrancar_servidor(base):
    raiz = os.path.join(base, 'raiz')
    os.makedirs(raiz)
    # vsftpd wants the root of an anonymous login not writable: uploads
    # land in sub/, written by vsftpd as the user ftp.
    os.makedirs(os.path.join(raiz, 'sub'))
    os.chown(os.path.join(raiz, 'sub'), pwd.getpwnam('ftp').pw_uid, -1)
    configuracion = os.path.join(base, 'vsftpd.conf')
    with open(configuracion, 'w') as f:
        f.write(f"""listen=YES
listen_ipv6=NO
listen_address={SERVIDOR}
listen_port=21
background=NO
seccomp_sandbox=NO
anonymous_enable=YES
no_anon_password=YES
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_world_readable_only=NO
anon_root={raiz}
connect_from_port_20=NO
xferlog_enable=YES
vsftpd_log_file={os.path.join(base, 'vsftpd.log')}
""")
    proceso = subprocess.Popen(['/usr/sbin/vsftpd', configuracion])
    for _ in range(100):
        try:
            socket.create_connection((SERVIDOR, 21), timeout=1).close()
            return proceso
        except OSError:
            if proceso.poll() is not None:
                break
            time.sleep(0.05)
    proceso.kill()
    raise Fallo('vsftpd did not start')


def main():
    global MEDIDA, CIFRAS
    programa, emisor, MEDIDA = sys.argv[1:4]
    tam, rondas = tamano(sys.argv[4]), int(sys.argv[5])
    try:
        socket.create_connection((SERVIDOR, 21), timeout=1).close()
        sys.exit(f'something already listens on {SERVIDOR}:21')
    except OSError:
        pass
    base = tempfile.mkdtemp(prefix='quelt-medir.', dir='/dev/shm')
    CIFRAS = os.path.join(base, 'cifras')
    servidor = None
    try:
        servidor = arrancar_servidor(base)
        print(f'quelt {programa} and curl against vsftpd on {SERVIDOR}, active mode, type I; '
              f'{rondas} rounds, files in {base}\n'
              'times are whole processes (start, login, transfer, QUIT); CPU and peak RSS from wait4',
              flush=True)
        grande = serie(programa, emisor, base, tam, rondas, True)
        pequeno = serie(programa, emisor, base, MIB, rondas, False) if tam != MIB else grande
        print(f"\ndownload {grande['get']:.2f}x curl (into /dev/null {grande['nul']:.2f}x), "
              f"upload {grande['put']:.2f}x curl ({grande['techo']:.2f} of the 1 KiB-write ceiling), "
              f"peak RSS {grande['rssq']:.2f} MiB (curl {grande['rssc']:.2f} MiB) for {legible(tam)}, "
              f"{pequeno['rssq']:.2f} MiB (curl {pequeno['rssc']:.2f} MiB) for 1 MiB")
    except Fallo as e:
        print(f'medir: {e}', file=sys.stderr)
        return 1
    finally:
        if servidor is not None:
            servidor.terminate()
            servidor.wait()
        shutil.rmtree(base, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
