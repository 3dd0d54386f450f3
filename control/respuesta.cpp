/* Reading the server's replies from the control connection. */
#include <stdio.h>

#include "comun.h"

/* Reads one piece of a line from flujo into buffer: at most TAM_BUFFER - 1
 * bytes, ending after the first line feed, which is kept.  Returns the
 * number of bytes read (a piece may hold zero bytes, so the length is what
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

/* Takes the reply code at the start of the line in buffer: leading white
 * space, then up to three characters of number, and the one character
 * after it.  A line that does not start with a number changes neither. */
static void Analizar_linea(int *num, char *c)
{
	int n;
	char sep;

	switch (sscanf(buffer, "%3d%c", &n, &sep)) {
	case 2:
		*c = sep;
		/* fall through */
	case 1:
		*num = n;
	}
}

/* Reads the next piece of a reply line into buffer.  Only a piece that
 * starts a line (*inicio set) is parsed for the code num and separator c:
 * the rest of a long line is text, whatever digits it holds.  Returns the
 * piece's length, or -1 when the stream has ended. */
int Leer_trozo(int *num, char *c, int *inicio)
{
	int n;

	if ((n = Leer_linea(controlL)) < 0)
		return -1;
	if (*inicio)
		Analizar_linea(num, c);
	*inicio = buffer[n - 1] == '\n';
	return n;
}

/* Goes on reading a reply whose lines so far gave the code num and the
 * separator c, inicio telling whether the last piece ended its line; shows
 * each piece when mostrar is set.  The reply ends with the line whose code
 * is followed by a blank.  Returns the last code parsed. */
int Leer_respuesta(int num, char c, int inicio, int mostrar)
{
	int n;

	while (!(inicio && c == ' ') && (n = Leer_trozo(&num, &c, &inicio)) >= 0)
		if (mostrar)
			fwrite(buffer, 1, n, stdout);
	return num;
}

/* Reads and shows one whole reply.  Returns its code, or 0 when the
 * connection ended before any line carried one. */
int Respuesta(void)
{
	return Leer_respuesta(0, '\0', 1, 1);
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
 * not taken for the reply to the next command.  A connection the server
 * has closed ends the program. */
void Leer_avisos(void)
{
	int num = 0, inicio = 1, n;
	char c = '\0';

	while (!inicio || Control_pendiente()) {
		if ((n = Leer_trozo(&num, &c, &inicio)) < 0) {
			Comprobar_control();
			break;
		}
		fwrite(buffer, 1, n, stdout);
	}
}
