/* Reading the server's replies from the control connection. */
#include <stdio.h>

#include "comun.h"

/* Reads one line from flujo into buffer: at most TAM_BUFFER - 1 bytes,
 * ending after the first line feed, which is kept.  Returns the number of
 * bytes read (a line may hold zero bytes, so the length is what counts),
 * or -1 at end of stream or on an error before any byte. */
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
int Analizar_linea(int *num, char *c)
{
	int n;
	char sep;
	int leidos = sscanf(buffer, "%3d%c", &n, &sep);

	if (leidos >= 1)
		*num = n;
	if (leidos == 2)
		*c = sep;
	return leidos;
}

/* Goes on reading reply lines until one whose code is followed by a blank,
 * starting from the code num and separator c of the lines already read;
 * shows each line when mostrar is set.  Returns the last code parsed. */
int Leer_respuesta(int num, char c, int mostrar)
{
	int n;

	while (c != ' ' && (n = Leer_linea(controlL)) >= 0) {
		Analizar_linea(&num, &c);
		if (mostrar)
			fwrite(buffer, 1, n, stdout);
	}
	return num;
}

/* Reads and shows one whole reply.  Returns its code, or 0 when the
 * connection ended before any line carried one. */
int Respuesta(void)
{
	return Leer_respuesta(0, '\0', 1);
}

/* Tells whether controlL already holds unread bytes, which a poll on the
 * descriptor would not report. */
int Respuesta_pendiente(void)
{
	return controlL->_IO_read_ptr < controlL->_IO_read_end;
}
