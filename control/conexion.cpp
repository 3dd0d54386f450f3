/* The control connection: opening it, the two streams over it, sending
 * command lines and leaving with QUIT. */
#include <netdb.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comun.h"

/* Sends one command line.  What the server said unasked is shown first,
 * so that the next reply read is this command's own.  The line is flushed
 * at once: the server answers only what has arrived, and a line left in
 * our buffer would leave both sides waiting.  A connection that can no
 * longer be written ends the program. */
void Enviar_comando(const char *formato, ...)
{
	va_list ap;

	Leer_avisos();
	va_start(ap, formato);
	vfprintf(controlE, formato, ap);
	va_end(ap);
	if (fflush(controlE) == EOF) {
		Error_en("controlE");
		exit(1);
	}
}

/* Connects to the FTP port of host h.  Returns the descriptor, or -1 after
 * reporting a failed lookup or connection.  On success dest_addr holds our
 * own end of the connection, which every data connection is later bound
 * to, and addr_servidor the server's address, the only one a data
 * connection may come from.  Without our own end no transfer could ever
 * be announced, so a failure to learn it ends the program. */
int Conexion(const char *h)
{
	struct servent *serv;
	struct hostent *host;
	socklen_t largo = sizeof dest_addr;
	int fd;

	/* Neither lookup sets errno, so perror would describe some other error. */
	if ((serv = getservbyname("ftp", "tcp")) == NULL) {
		Fallo_en("getservbyname", "el servicio ftp/tcp no figura en la base de servicios");
		return -1;
	}
	if ((host = gethostbyname(h)) == NULL) {
		Fallo_en("gethostbyname", "%s", hstrerror(h_errno));
		return -1;
	}
	if ((fd = socket(AF_INET, SOCK_STREAM, 0)) < 0) {
		Error_en("socket");
		return -1;
	}
	memset(&dest_addr, 0, sizeof dest_addr);
	dest_addr.sin_family = AF_INET;
	memcpy(&dest_addr.sin_addr, host->h_addr_list[0], sizeof dest_addr.sin_addr);
	dest_addr.sin_port = serv->s_port;   /* already in network order */
	if (connect(fd, (struct sockaddr *)&dest_addr, sizeof dest_addr) < 0) {
		Error_en("connect");
		close(fd);
		return -1;
	}
	addr_servidor = dest_addr.sin_addr;
	if (getsockname(fd, (struct sockaddr *)&dest_addr, &largo) != 0) {
		Error_en("getsockname");
		exit(1);
	}
	return fd;
}

/* Lays the two control streams over the connection.  controlL reads
 * through a duplicate of sockfd, so that releasing each stream closes its
 * own descriptor exactly once.  Replies are read from that descriptor by
 * the reader llegada_control, and stdio keeps none of them back: while
 * quelt waits for the user or for a data connection, poll sees in the
 * socket or in the reader all that the server has said.  Returns 1, or 0
 * after reporting. */
int Abrir_ficheros(void)
{
	int copia;

	if ((controlE = fdopen(sockfd, "w")) == NULL) {
		Error_en("fdopen");
		return 0;
	}
	if ((copia = dup(sockfd)) < 0) {
		Error_en("dup");
		return 0;
	}
	if ((controlL = fdopen(copia, "r+")) == NULL) {
		Error_en("fdopen");
		close(copia);
		return 0;
	}
	Preparar_llegada(&llegada_control, copia);
	return 1;
}

/* Ends the conversation with QUIT and closes the control connection.  A
 * QUIT answered only by the end of the connection means the server had
 * already gone, which ends the program as a lost connection does. */
void Salir(void)
{
	Enviar_comando("QUIT\r\n");
	Respuesta();
	Comprobar_control();
	fclose(controlL);
	fclose(controlE);
	controlL = controlE = NULL;
	sockfd = llegada_control.fd = -1;
}
