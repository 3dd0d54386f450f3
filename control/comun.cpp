/* What every part of quelt stands on: the shared state, defined here
 * once, and the helpers below all the others: reporting a failed call,
 * waiting on descriptors, and showing what the server sent. */
#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "comun.h"

int sockfd = -1;
FILE *controlE, *controlL;
struct sockaddr_in dest_addr;
struct in_addr addr_servidor;
int data_sockfd = -1;
struct sockaddr_in data_addr;
FILE *datosL, *datosE;
char buffer[TAM_BUFFER];
char tipo = 'A';
char dir_actual[TAM_DIR];
struct Llegada llegada_control = {-1, 0, 0, 0, 0, {0}};

/* Reports a failure as "ERROR en <que>: <reason>" on standard error, the
 * reason written as formato says.  Standard output is flushed first so
 * that the report lands after what the user has already been shown. */
void Fallo_en(const char *que, const char *formato, ...)
{
	va_list ap;

	fflush(stdout);
	fprintf(stderr, "ERROR en %s: ", que);
	va_start(ap, formato);
	vfprintf(stderr, formato, ap);
	va_end(ap);
	fputc('\n', stderr);
}

/* Reports a failed call, with the system's reason for errno. */
void Error_en(const char *que)
{
	Fallo_en(que, "%s", strerror(errno));
}

/* Polls the n descriptors of p for up to espera milliseconds (-1: no
 * limit), starting again when a signal interrupts.  What the reader holds
 * of the control connection counts as readable there, as if it were still
 * in the socket.  Returns what poll returns, or -1 after reporting. */
int Sondear(struct pollfd *p, int n, int espera)
{
	int listos, i, guardado = -1;

	for (i = 0; i < n; i++)
		if (p[i].fd == llegada_control.fd && llegada_control.inicio < llegada_control.fin)
			guardado = i;
	while ((listos = poll(p, (nfds_t)n, guardado < 0 ? espera : 0)) < 0)
		if (errno != EINTR) {
			Error_en("poll");
			return -1;
		}
	if (guardado >= 0 && !(p[guardado].revents & POLLIN)) {
		listos += p[guardado].revents == 0;
		p[guardado].revents |= POLLIN;
	}
	return listos;
}

/* How the bytes at p (n of them, more to come unless final) are shown on
 * a terminal: returns how many pass as text (1, or a whole UTF-8
 * sequence), 0 when the first is shown as \xHH, or -1 while the bytes
 * that decide have not come. */
static int Como_texto(const unsigned char *p, size_t n, int final)
{
	unsigned char b = p[0], menor, mayor;
	size_t largo, j;

	if ((b >= 0x20 && b < 0x7f) || b == '\t' || b == '\n')
		return 1;
	if (b == '\r')
		return n > 1 ? p[1] == '\n' : final ? 0 : -1;
	if (b < 0xc2 || b > 0xf4)
		return b >= 0xa0;   /* C0, DEL and a C1 byte alone are controls */
	/* A lead byte: the sequence is taken whole or not at all, each byte in
	 * its range (no overlong form, no surrogate, nothing past U+10FFFF). */
	largo = b < 0xe0 ? 2 : b < 0xf0 ? 3 : 4;
	menor = b == 0xe0 ? 0xa0 : b == 0xf0 ? 0x90 : 0x80;
	mayor = b == 0xed ? 0x9f : b == 0xf4 ? 0x8f : 0xbf;
	for (j = 1; j < largo; j++, menor = 0x80, mayor = 0xbf) {
		if (j >= n)
			return final ? 1 : -1;
		if (p[j] < menor || p[j] > mayor)
			return 1;   /* no sequence: the byte alone, a Latin-1 letter */
	}
	return b == 0xc2 && p[1] < 0xa0 ? 0 : (int)largo;   /* C2 80-9F: a C1 control */
}

/* Shows on the terminal the bytes of p, of n, that start before hasta.
 * Returns where it stopped: at hasta or past it, or before it where the
 * bytes that decide have not come. */
static size_t Mostrar_en_terminal(const unsigned char *p, size_t n, size_t hasta, int final)
{
	size_t i = 0, texto = 0;   /* p[texto..i) passes as it came */
	int k;

	while (i < hasta && (k = Como_texto(p + i, n - i, final)) >= 0) {
		if (k > 0) {
			i += (size_t)k;
			continue;
		}
		fwrite(p + texto, 1, i - texto, stdout);
		printf("\\x%02x", p[i++]);
		texto = i;
	}
	fwrite(p + texto, 1, i - texto, stdout);
	return i;
}

/* Shows n bytes that the server sent (a piece of a reply or of a listing,
 * the directory) on standard output.  Into a pipe or a file every byte
 * goes as it came.  On a terminal, the bytes that it would take for
 * commands (C0 controls, DEL, C1 controls: they can retitle the window,
 * clear the screen, or make the terminal type answers into our input) are
 * shown as \xHH: ESC as \x1b, a CR not before LF as \x0d.  Text passes
 * as it came: printable ASCII, TAB, LF, CR LF, UTF-8 and Latin-1 letters.
 * What ends texto undecided (a CR, part of a UTF-8 sequence) waits for
 * the next call; texto NULL says that nothing follows. */
void Mostrar(const char *texto, size_t n)
{
	static int terminal = -1;
	static unsigned char guardado[8];   /* held back from the last call */
	static size_t n_guardado;
	const unsigned char *p = (const unsigned char *)texto;
	unsigned char junto[16];
	size_t t, hecho;

	if (terminal < 0)
		terminal = isatty(fileno(stdout));
	if (!terminal) {
		if (n > 0)
			fwrite(texto, 1, n, stdout);
		return;
	}
	if (n_guardado > 0) {
		/* Decided by the first bytes that follow: a sequence has 4 at most. */
		t = n < 4 ? n : 4;
		memcpy(junto, guardado, n_guardado);
		if (t > 0)
			memcpy(junto + n_guardado, p, t);
		hecho = Mostrar_en_terminal(junto, n_guardado + t, n_guardado, texto == NULL);
		if (hecho < n_guardado) {   /* texto was too short to decide */
			n_guardado += t - hecho;
			memcpy(guardado, junto + hecho, n_guardado);
			return;
		}
		t = hecho - n_guardado;   /* of texto, shown with them */
		n_guardado = 0;
		p += t;
		n -= t;
	}
	if (texto == NULL)
		return;
	hecho = Mostrar_en_terminal(p, n, n, 0);
	n_guardado = n - hecho;
	memcpy(guardado, p + hecho, n_guardado);
}
