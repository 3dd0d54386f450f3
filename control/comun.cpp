/* What every part of quelt stands on: the shared state, defined here
 * once, and the two helpers below all the others, for reporting a failed
 * call and for waiting on descriptors. */
#include <errno.h>
#include <poll.h>
#include <stdio.h>

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

/* Reports a failed call as "ERROR en <que>: <reason>" on standard error.
 * Standard output is flushed first so that the report lands after what
 * the user has already been shown. */
void Error_en(const char *que)
{
	int guardado = errno;
	char texto[80];

	fflush(stdout);
	snprintf(texto, sizeof texto, "ERROR en %s", que);
	errno = guardado;
	perror(texto);
}

/* Polls the n descriptors of p for up to espera milliseconds (-1: no
 * limit), starting again when a signal interrupts.  Returns what poll
 * returns, or -1 after reporting the failure. */
int Sondear(struct pollfd *p, int n, int espera)
{
	int listos;

	while ((listos = poll(p, (nfds_t)n, espera)) < 0)
		if (errno != EINTR) {
			Error_en("poll");
			return -1;
		}
	return listos;
}
