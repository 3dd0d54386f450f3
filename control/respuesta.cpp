/* The reply reader: the server's replies, piece by piece, from the
 * control connection, and the lines of a listing. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

#include "comun.h"

/* Reads one piece of a line from flujo into buffer: at most TAM_BUFFER - 1
 * bytes, ending after the first line feed, which is kept.  Returns the
 * number of bytes read (a piece may hold NUL bytes, so the length is what
 * counts), or -1 at end of stream or on an error before any byte. */
int Leer_linea(FILE *flujo)
{
	int n = 0, ch;

	while (n < TAM_BUFFER - 1 && (ch = getc(flujo)) != EOF) {
		buffer[n++] = (char)ch;
		if (ch == '\n')
			break;
	}
	buffer[n] = '\0';
	return n == 0 ? -1 : n;
}

/* The length of the piece at p, of the n bytes there, when at most cabe
 * bytes fit: through its line feed, or cabe bytes of a longer line.  0
 * while the piece is not whole yet. */
static size_t Largo_trozo(const char *p, size_t n, size_t cabe)
{
	const char *fin = (const char *)memchr(p, '\n', n < cabe ? n : cabe);

	if (fin != NULL)
		return (size_t)(fin + 1 - p);
	return n >= cabe ? cabe : 0;
}

/* The same piece as Leer_linea, read from controlL with a few calls, not
 * one a byte.  controlL keeps no buffer, so that every byte not yet read
 * stays in the socket, where poll sees it; the bytes that have arrived are
 * looked at there (MSG_PEEK) and only those up to the line feed are taken,
 * so what follows the piece stays where it was.  Where nothing can be
 * looked at (the end, a failure) one byte is asked of stdio, which then
 * marks controlL for Comprobar_control. */
static int Leer_linea_control(void)
{
	size_t n = 0, k, leidos;
	ssize_t vistos;

	while (n < TAM_BUFFER - 1 && (n == 0 || buffer[n - 1] != '\n')) {
		vistos = recv(fileno(controlL), buffer + n, TAM_BUFFER - 1 - n, MSG_PEEK);
		if (vistos < 0 && errno == EINTR)
			continue;
		/* A piece not yet whole is taken as far as it has come. */
		k = 1;
		if (vistos > 0 && (k = Largo_trozo(buffer + n, (size_t)vistos, TAM_BUFFER - 1 - n)) == 0)
			k = (size_t)vistos;
		n += leidos = fread(buffer + n, 1, k, controlL);
		if (leidos < k)
			break;
	}
	buffer[n] = '\0';
	return n == 0 ? -1 : (int)n;
}

/* Takes the reply code at the start of the line in buffer: leading white
 * space, then up to three characters of number, and the one character
 * after it.  A line that does not start with a number changes neither. */
static void Analizar_linea(struct Lectura *l)
{
	int n;
	char sep;

	switch (sscanf(buffer, "%3d%c", &n, &sep)) {
	case 2:
		l->c = sep;
		/* fall through */
	case 1:
		l->num = n;
	}
}

/* Takes the n-byte piece now in buffer into the reply that l stands in.
 * Only a piece that starts a line is parsed for its code: the rest of a
 * long line is text, whatever digits it holds. */
static void Tomar_trozo(struct Lectura *l, size_t n)
{
	if (l->inicio)
		Analizar_linea(l);
	l->inicio = buffer[n - 1] == '\n';
}

/* Reads the next piece of a reply into buffer.  Returns the piece's
 * length, or -1 when the stream has ended. */
int Leer_trozo(struct Lectura *l)
{
	int n;

	if ((n = Leer_linea_control()) < 0)
		return -1;
	Tomar_trozo(l, (size_t)n);
	return n;
}

/* Reads the rest of the reply that l stands in, showing each piece when
 * mostrar is set.  The reply ends with the line whose code is followed by
 * a blank.  Returns the last code parsed, 0 when no line carried one.
 * A long reply is not read a piece at a time: the whole pieces that have
 * arrived are looked at together in the socket and taken out with one
 * read, up to the end of the reply and never past it, so that what the
 * server says next still waits there for the watch. */
int Leer_respuesta(struct Lectura *l, int mostrar)
{
	static char llegado[1 << 16];
	ssize_t vistos;
	size_t hecho, n;
	int largo;

	while (!(l->inicio && l->c == ' ')) {
		vistos = recv(fileno(controlL), llegado, sizeof llegado, MSG_PEEK);
		for (hecho = 0; vistos > 0 && !(l->inicio && l->c == ' '); hecho += n) {
			if ((n = Largo_trozo(llegado + hecho, (size_t)vistos - hecho, TAM_BUFFER - 1)) == 0)
				break;   /* the rest of this piece is still on its way */
			memcpy(buffer, llegado + hecho, n);
			buffer[n] = '\0';
			Tomar_trozo(l, n);
			if (mostrar)
				fwrite(buffer, 1, n, stdout);
		}
		if (hecho > 0) {
			if (fread(llegado, 1, hecho, controlL) < hecho)
				break;
			continue;
		}
		/* Nothing whole has arrived (or the end has): one piece, waited for. */
		if ((largo = Leer_trozo(l)) < 0)
			break;
		if (mostrar)
			fwrite(buffer, 1, (size_t)largo, stdout);
	}
	return l->num;
}

/* Reads and shows one whole reply.  Returns its code, or 0 when the
 * connection ended before any line carried one. */
int Respuesta(void)
{
	struct Lectura l = LECTURA_NUEVA;

	return Leer_respuesta(&l, 1);
}

/* Ends the process when the server has closed the control connection:
 * nothing more can be asked of it, and going on would only pretend. */
void Comprobar_control(void)
{
	if (feof(controlL) || ferror(controlL)) {
		fflush(stdout);
		fprintf(stderr, "ERROR en controlL: el servidor ha cerrado la conexion de control\n");
		exit(1);
	}
}

/* Tells whether the server has sent something not yet read, or closed the
 * connection.  controlL keeps no buffer, so all of it is in the socket. */
static int Control_pendiente(void)
{
	struct pollfd p;

	p.fd = fileno(controlL);
	p.events = POLLIN;
	return Sondear(&p, 1, 0) > 0;
}

/* Shows what the server has sent without being asked: a notice, a second
 * reply to one command, its last words before closing.  Read now, it is
 * not taken for the reply to the next command.  Whole lines are read
 * while any are waiting; a connection the server has closed ends the
 * program. */
void Leer_avisos(void)
{
	struct Lectura l = LECTURA_NUEVA;
	int n;

	while (!l.inicio || Control_pendiente()) {
		if ((n = Leer_trozo(&l)) < 0) {
			Comprobar_control();
			break;
		}
		fwrite(buffer, 1, n, stdout);
	}
}
