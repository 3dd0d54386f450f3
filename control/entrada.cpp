/* What the user types: words, names and the password.  While quelt waits
 * for a key it also watches the control connection, so that what the
 * server says meanwhile is shown at once.  The one prompt not watched is
 * the password's at a terminal: getpass reads the terminal itself, with
 * echo off, and gives nothing back until the line is typed. */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "comun.h"

#define NINGUNA (-2)   /* no character put back */

static const char *aviso_actual = "";   /* the prompt on screen, shown again after a notice */
static int guardada = NINGUNA;   /* the character that ended the last word */

/* Shows a prompt, which stays on screen until the answer is typed. */
void Mostrar_aviso(const char *texto)
{
	aviso_actual = texto;
	printf("%s", texto);
	fflush(stdout);
}

/* Waits until standard input can be read.  Input already typed comes
 * first; while none is there, what the server sends unasked is shown,
 * then the prompt again, and a connection the server closes ends the
 * program without waiting for a key. */
static void Esperar_tecla(void)
{
	struct pollfd p[2];
	int espera = 0;

	p[0].fd = fileno(stdin);
	p[0].events = POLLIN;
	p[1].fd = fileno(controlL);
	p[1].events = POLLIN;
	for (; Sondear(p, 2, espera) >= 0 && !p[0].revents; espera = -1)
		if (p[1].revents) {
			printf("\n");
			Leer_avisos();
			Mostrar_aviso(aviso_actual);
		}
}

/* Returns the next character typed, or EOF once the input has ended.
 * Standard input is unbuffered (main), so what is typed ahead waits in
 * the terminal or the pipe, where poll sees it.  The end of the input
 * ends the prompt's line, so that what follows starts a line of its own. */
static int Leer_tecla(void)
{
	int ch;

	if (guardada != NINGUNA) {
		ch = guardada;
		guardada = NINGUNA;
		return ch;
	}
	if (feof(stdin) || ferror(stdin))
		return EOF;
	Esperar_tecla();
	if ((ch = getchar()) == EOF)
		printf("\n");
	return ch;
}

/* Reads one word from standard input: leading blanks and line ends are
 * skipped, and the word ends at the next blank or line end, which stays
 * unread.  At most tam - 1 characters are stored; the rest of a longer
 * word is read and dropped.  Returns the whole word's length, or -1 when
 * the input ended before any word. */
int Leer_palabra(char *destino, size_t tam)
{
	size_t n = 0;
	int ch;

	while ((ch = Leer_tecla()) != EOF && Es_blanco(ch))
		;
	while (ch != EOF && !Es_blanco(ch)) {
		if (n + 1 < tam)
			destino[n] = (char)ch;
		n++;
		ch = Leer_tecla();
	}
	if (ch != EOF)
		guardada = ch;
	destino[n + 1 < tam ? n : tam - 1] = '\0';
	return n == 0 ? -1 : (int)n;
}

/* Drops what is left of the current input line. */
void Descartar_linea(void)
{
	int ch;

	while ((ch = Leer_tecla()) != EOF && ch != '\n')
		;
}

/* Shows the prompt aviso and reads a name into destino.  A name that does
 * not fit is refused rather than cut, since a cut name may well be some
 * other file.  Returns 1 with a name, 0 after refusing one, -1 at the end
 * of the input. */
int Pedir_nombre(const char *aviso, char *destino, size_t tam)
{
	int largo;

	Mostrar_aviso(aviso);
	if ((largo = Leer_palabra(destino, tam)) < 0)
		return -1;
	if ((size_t)largo >= tam) {
		printf("ERROR: el nombre pasa de %d caracteres.\n", (int)tam - 1);
		return 0;
	}
	return 1;
}

/* Asks for the password after a user name.  With a terminal it is read
 * from there without echo; getpass gives "" at the end of the input as for
 * an empty line, and "" is sent.  Without a terminal (a script, cron, ssh
 * without -t) it is the next whole input line, which may be empty: the
 * rest of the name's line is dropped first, and all of the password's line
 * is read, so that no part of it is ever taken for the next user name.
 * Returns NULL when that input has ended before the line. */
char *Leer_clave(void)
{
	static char clave[TAM_CLAVE];
	size_t n = 0;
	int fd, ch;

	if ((fd = open("/dev/tty", O_RDWR | O_NOCTTY)) >= 0) {
		close(fd);
		fflush(stdout);
		return getpass("Clave: ");
	}
	Mostrar_aviso("Clave: ");
	Descartar_linea();
	while ((ch = Leer_tecla()) != EOF && ch != '\n')
		if (n + 1 < sizeof clave)
			clave[n++] = (char)ch;
	if (n > 0 && clave[n - 1] == '\r')   /* a line from a file written on Windows */
		n--;
	clave[n] = '\0';
	return ch == EOF && n == 0 ? NULL : clave;
}
