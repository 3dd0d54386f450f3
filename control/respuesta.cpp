/* The reply reader: the server's replies, piece by piece, from the
 * control connection, and the lines of a listing. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "comun.h"

/* Makes e the empty reader of descriptor fd. */
void Preparar_llegada(struct Llegada *e, int fd)
{
	e->fd = fd;
	e->acabada = 0;
	e->inicio = e->fin = 0;
}

/* The length of the piece at p, of the n bytes there, when at most cabe
 * bytes fit: through its line feed, or cabe bytes of a longer line.  0
 * while the piece is not whole yet. */
static size_t Largo_trozo(const char *p, size_t n, size_t cabe)
{
	const char *salto = static_cast<const char *>(memchr(p, '\n', n < cabe ? n : cabe));

	if (salto != NULL)
		return (size_t)(salto + 1 - p);
	return n >= cabe ? cabe : 0;
}

/* Adds to e whatever has arrived on its descriptor, waiting for at least
 * one byte or the end, with one read.  What is left of the last read goes
 * first to the front, to make room. */
static void Llenar(struct Llegada *e)
{
	ssize_t n;

	memmove(e->datos, e->datos + e->inicio, e->fin - e->inicio);
	e->fin -= e->inicio;
	e->inicio = 0;
	while ((n = read(e->fd, e->datos + e->fin, sizeof e->datos - e->fin)) < 0 && errno == EINTR)
		;
	if (n > 0)
		e->fin += (size_t)n;
	else if (n == 0)
		e->acabada = 1;
	else {
		e->acabada = -1;
		e->error = errno;
	}
}

/* Takes the next piece of a line from e into buffer: at most
 * TAM_BUFFER - 1 bytes, ending after the first line feed, which is kept;
 * the last piece before the end may be shorter.  Only a whole piece is
 * taken, so a line parses the same however it arrives.  Returns its
 * length (a piece may hold NUL bytes, so the length is what counts), or
 * -1 once the stream has ended and all of it is taken. */
int Tomar_trozo(struct Llegada *e)
{
	size_t n;

	while ((n = Largo_trozo(e->datos + e->inicio, e->fin - e->inicio, TAM_BUFFER - 1)) == 0) {
		if (e->acabada) {
			n = e->fin - e->inicio;
			break;
		}
		Llenar(e);
	}
	if (n == 0)
		return -1;
	memcpy(buffer, e->datos + e->inicio, n);
	buffer[n] = '\0';
	e->inicio += n;
	return (int)n;
}

/* Takes the reply code at the start of the line in buffer: leading white
 * space, then up to three characters of number, and the one character
 * after it.  A line that does not start with a number changes neither.
 * The white space is skipped here, so that only the C locale's counts. */
static void Analizar_linea(struct Lectura *l)
{
	const char *p = buffer;
	int n;
	char sep;

	while (Es_blanco((unsigned char)*p))
		p++;
	if (!Empieza_numero(*p))
		return;
	switch (sscanf(p, "%3d%c", &n, &sep)) {
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
static void Anotar_trozo(struct Lectura *l, size_t n)
{
	if (l->al_principio)
		Analizar_linea(l);
	l->al_principio = buffer[n - 1] == '\n';
}

/* Takes the next piece of the reply that l stands in from the control
 * connection into buffer, and notes it in l.  Returns the piece's length,
 * or -1 when the stream has ended. */
int Leer_trozo(struct Lectura *l)
{
	int n;

	if ((n = Tomar_trozo(&llegada_control)) < 0)
		return -1;
	Anotar_trozo(l, (size_t)n);
	return n;
}

/* Reads the rest of the reply that l stands in, showing each piece, and
 * its end, when mostrar is set.  The reply ends with the line whose code
 * is followed by a blank.  Returns the last code parsed, 0 when no line
 * carried one. */
int Leer_respuesta(struct Lectura *l, int mostrar)
{
	int n;

	while (!(l->al_principio && l->c == ' ') && (n = Leer_trozo(l)) >= 0)
		if (mostrar)
			Mostrar(buffer, (size_t)n);
	if (mostrar)
		Acabar_texto();
	return l->num;
}

/* Reads and shows one whole reply.  Returns its code, or 0 when the
 * connection ended before any line carried one. */
int Respuesta(void)
{
	struct Lectura l = LECTURA_NUEVA;

	return Leer_respuesta(&l, 1);
}

/* Ends the process when the control connection has ended, closed by the
 * server or failed to read, with the system's reason for the failure:
 * nothing more can be asked of it, and going on would only pretend. */
void Comprobar_control(void)
{
	if (llegada_control.acabada < 0) {
		Fallo_en("controlL", "%s", strerror(llegada_control.error));
		exit(1);
	}
	if (llegada_control.acabada) {
		Fallo_en("controlL", "el servidor ha cerrado la conexion de control");
		exit(1);
	}
}

/* Tells whether the server has sent something not yet taken, or closed
 * the connection. */
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

	while (!l.al_principio || Control_pendiente()) {
		int n = Leer_trozo(&l);

		if (n < 0) {
			Acabar_texto();
			Comprobar_control();
			break;
		}
		Mostrar(buffer, (size_t)n);
	}
	Acabar_texto();
}
