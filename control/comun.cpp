/* What every part of quelt stands on: the shared state, defined here
 * once, and the helpers below all the others: reporting a failed call,
 * waiting on descriptors, and showing what the server sent. */
#include <errno.h>
#include <langinfo.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
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
 * that the report lands after what the user has already been shown; the
 * report goes in one write, so that nothing (the terminal's echo of a key)
 * lands inside it.  A report longer than a line is cut. */
void Fallo_en(const char *que, const char *formato, ...)
{
	char linea[TAM_BUFFER] = "";
	int n;

	fflush(stdout);
	n = snprintf(linea, sizeof linea - 1, "ERROR en %s: ", que);
	if (n >= 0 && (size_t)n < sizeof linea - 1) {
		va_list ap;

		va_start(ap, formato);
		vsnprintf(linea + n, sizeof linea - 1 - (size_t)n, formato, ap);
		va_end(ap);
	}
	n = (int)strlen(linea);
	linea[n] = '\n';
	fwrite(linea, 1, (size_t)n + 1, stderr);
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
	int listos, i;
	int retenido = -1;   /* p's entry for the control connection, when the reader holds bytes of it */

	for (i = 0; i < n; i++)
		if (p[i].fd == llegada_control.fd && llegada_control.inicio < llegada_control.fin)
			retenido = i;
	while ((listos = poll(p, (nfds_t)n, retenido < 0 ? espera : 0)) < 0)
		if (errno != EINTR) {
			Error_en("poll");
			return -1;
		}
	if (retenido >= 0 && !(p[retenido].revents & POLLIN)) {
		listos += p[retenido].revents == 0;
		p[retenido].revents |= POLLIN;
	}
	return listos;
}

/* The terminal filter.  A terminal takes some bytes for commands (C0
 * controls, DEL, C1 controls: they can retitle the window, clear the
 * screen, or make the terminal type answers into our input); those are
 * shown as \xHH, ESC as \x1b and a CR not before LF as \x0d.  Text passes
 * as it came: printable ASCII, TAB, LF, CR LF, and the letters of the
 * terminal's character set.  In UTF-8 a C1 control is a byte 80-9F alone
 * or encoded as C2 80-9F, and a letter is a well-formed sequence, or a
 * byte A0-FF that starts none (a Latin-1 letter in a UTF-8 text).  In any
 * other set every byte 80-9F is a C1 control and A0-FF are letters.  The
 * bytes go one at a time; what they decide only with the next ones (a CR,
 * a sequence begun) is held until those come or the text ends. */
static int regla;               /* REGLA_TAL_CUAL, REGLA_UTF8 or REGLA_8BITS */
static FILE *pantalla;          /* where the text is shown; NULL until the rule is chosen */
static unsigned char tenidos[3];   /* a CR, or the bytes of a sequence begun */
static int n_tenidos;

/* The rule for showing text on salida: every byte as it came unless it is
 * a terminal, then the one of the character set that the locale names. */
int Regla_de(FILE *salida)
{
	const char *juego;

	if (!isatty(fileno(salida)))
		return REGLA_TAL_CUAL;
	juego = nl_langinfo(CODESET);
	return strcasecmp(juego, "UTF-8") == 0 || strcasecmp(juego, "UTF8") == 0 ? REGLA_UTF8 : REGLA_8BITS;
}

/* Shows the server's text on salida from now on, following la_regla. */
void Elegir_regla(FILE *salida, int la_regla)
{
	pantalla = salida;
	regla = la_regla;
	n_tenidos = 0;
}

/* What the filter shows, gathered for one write per text or piece: on a
 * terminal the stream is line-buffered, and stdio would take each byte
 * put alone through its slow path. */
static char juntos[1 << 12];
static size_t n_juntos;

/* Writes what has been gathered. */
static void Volcar(void)
{
	fwrite(juntos, 1, n_juntos, pantalla);
	n_juntos = 0;
}

/* Shows byte c as it is. */
static void Poner(unsigned char c)
{
	if (n_juntos == sizeof juntos)
		Volcar();
	juntos[n_juntos++] = (char)c;
}

/* Shows byte b as \xHH. */
static void Escapar(unsigned char b)
{
	static const char cifras[] = "0123456789abcdef";

	Poner('\\');
	Poner('x');
	Poner(cifras[b >> 4]);
	Poner(cifras[b & 0xf]);
}

/* Shows byte b alone: as it is when it is text in every rule (printable
 * ASCII, TAB, LF, A0-FF), or escaped when a terminal would take it for a
 * command. */
static void Mostrar_byte(unsigned char b)
{
	if ((b >= 0x20 && b < 0x7f) || b == '\t' || b == '\n' || b >= 0xa0)
		Poner(b);
	else
		Escapar(b);
}

/* Shows the bytes held, each alone: a CR that no LF follows, or a
 * sequence cut short, whose lead passes as a Latin-1 letter. */
static void Soltar(void)
{
	int i;

	for (i = 0; i < n_tenidos; i++)
		Mostrar_byte(tenidos[i]);
	n_tenidos = 0;
}

/* Takes the next byte of the text.  A UTF-8 sequence is taken whole or
 * not at all, each byte in its range: no overlong form, no surrogate,
 * nothing past U+10FFFF. */
static void Filtrar(unsigned char b)
{
	unsigned char lead = tenidos[0];
	int largo, sigue, i;

	if (n_tenidos == 0) {
		if (b == '\r' || (regla == REGLA_UTF8 && b >= 0xc2 && b <= 0xf4))
			tenidos[n_tenidos++] = b;
		else
			Mostrar_byte(b);
		return;
	}
	largo = lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;   /* a CR waits for one byte */
	sigue = lead == '\r' ? b == '\n' : n_tenidos > 1 ? b >= 0x80 && b <= 0xbf :
	        b >= (lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80) &&
	        b <= (lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf);
	if (!sigue) {
		Soltar();
		Filtrar(b);   /* b starts afresh, with nothing held */
	} else if (n_tenidos + 1 < largo) {
		tenidos[n_tenidos++] = b;
	} else if (lead == 0xc2 && b < 0xa0) {   /* C2 80-9F: a C1 control */
		Escapar(lead);
		Escapar(b);
		n_tenidos = 0;
	} else {   /* CR LF, or a whole sequence */
		for (i = 0; i < n_tenidos; i++)
			Poner(tenidos[i]);
		Poner(b);
		n_tenidos = 0;
	}
}

/* Shows n bytes that the server sent (a piece of a reply or of a listing,
 * the directory) as the rule says, on the standard output unless another
 * place has been chosen. */
void Mostrar(const char *texto, size_t n)
{
	size_t i;

	if (pantalla == NULL)
		Elegir_regla(stdout, Regla_de(stdout));
	if (regla == REGLA_TAL_CUAL) {
		fwrite(texto, 1, n, pantalla);
		return;
	}
	for (i = 0; i < n; i++) {
		unsigned char b = (unsigned char)texto[i];

		if (n_tenidos == 0 && b >= 0x20 && b < 0x7f)   /* the most common case, at once */
			Poner(b);
		else
			Filtrar(b);
	}
	Volcar();
}

/* Ends the text being shown: what it held back is shown for what it is. */
void Acabar_texto(void)
{
	Soltar();
	if (n_juntos > 0)
		Volcar();
}
