/* The data connection: active mode, one listening socket per transfer,
 * announced with PORT and accepted once. */
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comun.h"

/* Turns O_NONBLOCK on (si set) or off for fd, keeping its other flags.
 * Returns what fcntl returns. */
static int Sin_espera(int fd, int si)
{
	int flags = fcntl(fd, F_GETFL);

	if (flags == -1)
		return -1;
	return fcntl(fd, F_SETFL, si ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

/* Opens a listening socket on our own address of the control connection,
 * on a port the system chooses, and announces it with PORT.  The socket
 * does not block: a connection that is reset between poll and accept
 * must not leave accept waiting.  Returns 1, or 0 after reporting;
 * data_sockfd is then left closed. */
int Conexion_datos(void)
{
	socklen_t aux = sizeof data_addr;
	unsigned long addr_local, port_local;

	memcpy(&data_addr, &dest_addr, sizeof data_addr);
	data_addr.sin_family = AF_INET;
	data_addr.sin_port = 0;
	if ((data_sockfd = socket(AF_INET, SOCK_STREAM, 0)) == -1) {
		Error_en("data_sockfd");
		return 0;
	}
	if (bind(data_sockfd, (struct sockaddr *)&data_addr, sizeof data_addr) == -1) {
		Error_en("bind");
		goto fallo;
	}
	if (getsockname(data_sockfd, (struct sockaddr *)&data_addr, &aux) != 0) {
		Error_en("getsockname para data_sockfd");
		goto fallo;
	}
	if (listen(data_sockfd, 10) == -1) {
		Error_en("listen");
		goto fallo;
	}
	if (Sin_espera(data_sockfd, 1) == -1) {
		Error_en("fcntl para data_sockfd");
		goto fallo;
	}
	addr_local = ntohl(data_addr.sin_addr.s_addr);
	port_local = ntohs(data_addr.sin_port);
	Enviar_comando("PORT %d,%d,%d,%d,%d,%d\r\n",
	               (int)(addr_local >> 24 & 0xff), (int)(addr_local >> 16 & 0xff),
	               (int)(addr_local >> 8 & 0xff), (int)(addr_local & 0xff),
	               (int)(port_local >> 8 & 0xff), (int)(port_local & 0xff));
	Respuesta();
	return 1;
fallo:
	close(data_sockfd);
	data_sockfd = -1;
	return 0;
}

/* Returns accept_fd blocking again, or -1 after reporting and closing it.
 * Some systems (the BSDs, macOS) pass the listening socket's O_NONBLOCK
 * on to the connections it accepts, and the copy loops expect to wait. */
static int Bloqueante(int accept_fd)
{
	if (Sin_espera(accept_fd, 0) == -1) {
		Error_en("fcntl");
		close(accept_fd);
		return -1;
	}
	return accept_fd;
}

/* Tells whether the connection accept_fd, whose peer accept left in
 * data_addr, comes from the server.  Whoever reaches our listening socket
 * first would otherwise be handed the download, the upload or the
 * listing, so a connection from any other address is closed at once,
 * before a byte is read or written, and reported with its address. */
static int Del_servidor(int accept_fd, const char *texto_accept)
{
	char suya[INET_ADDRSTRLEN], servidor[INET_ADDRSTRLEN];

	if (data_addr.sin_addr.s_addr == addr_servidor.s_addr)
		return 1;
	close(accept_fd);
	inet_ntop(AF_INET, &data_addr.sin_addr, suya, sizeof suya);
	inet_ntop(AF_INET, &addr_servidor, servidor, sizeof servidor);
	Fallo_en(texto_accept, "conexion de datos de %s rechazada: solo se aceptan del servidor %s", suya, servidor);
	return 0;
}

/* How long a data connection may trail the reply that reports its
 * transfer complete: the two travel apart, and a lost first packet of the
 * connection's handshake is sent again only after a second. */
#define ESPERA_TARDIA 3   /* seconds */

/* Milliseconds from now until hasta, 0 once it has passed. */
static int Quedan_ms(const struct timespec *hasta)
{
	struct timespec ahora;
	long ms;

	clock_gettime(CLOCK_MONOTONIC, &ahora);
	ms = (hasta->tv_sec - ahora.tv_sec) * 1000 + (hasta->tv_nsec - ahora.tv_nsec) / 1000000;
	return ms > 0 ? (int)ms : 0;
}

/* Waits for the server's data connection on data_sockfd and accepts it,
 * reading the replies that come on the control connection meanwhile.
 * Returns the accepted descriptor, or -1 when a reply, the end of the
 * control connection or a failed accept says none will come.  *cierre is
 * set once the transfer's closing reply has been read.  A success that
 * comes first is the one reply that cannot say whether the connection is
 * still on its way: that is waited for, for ESPERA_TARDIA seconds and no more. */
static int Esperar_conexion(const char *texto_accept, int *cierre)
{
	struct pollfd p[2];
	struct timespec hasta = {0, 0};   /* the time limit once *cierre is set; 0 is past */
	socklen_t aux;
	int codigo, accept_fd;

	p[0].fd = data_sockfd;
	p[0].events = POLLIN;
	p[1].fd = fileno(controlL);
	p[1].events = POLLIN;
	for (;;) {
		/* After the closing reply only the data connection is watched. */
		if (Sondear(p, *cierre ? 1 : 2, *cierre ? Quedan_ms(&hasta) : -1) < 0)
			return -1;
		/* A fast server connects, sends and reports before we look:
		 * a pending connection always comes first. */
		if (p[0].revents) {
			aux = sizeof data_addr;
			accept_fd = accept(data_sockfd, (struct sockaddr *)&data_addr, &aux);
			if (accept_fd >= 0 && Del_servidor(accept_fd, texto_accept))
				return Bloqueante(accept_fd);
			/* A connection that went away before we took it (or was
			 * refused above) leaves the wait as it was. */
			if (accept_fd < 0 && errno != EAGAIN && errno != EWOULDBLOCK &&
			    errno != ECONNABORTED && errno != EINTR && errno != EPROTO) {
				Error_en(texto_accept);
				return -1;
			}
			continue;
		}
		if (*cierre) {
			Fallo_en(texto_accept, "el servidor ha dado la transferencia por terminada "
			         "sin abrir la conexion de datos");
			return -1;
		}
		if (p[1].revents && !Preliminar(codigo = Respuesta())) {
			*cierre = 1;
			if (!Completada(codigo))
				return -1;
			clock_gettime(CLOCK_MONOTONIC, &hasta);
			hasta.tv_sec += ESPERA_TARDIA;
		}
	}
}

/* Follows the first reply to LIST, RETR or STOR.  When codigo is a
 * preliminary reply, takes the server's one connection on data_sockfd,
 * closes data_sockfd, and lays a stream of mode modo over the connection.
 * Returns that stream, or NULL once the failure is reported and the
 * transfer's replies are all read; *cierre tells whether the closing
 * reply has been read already. */
FILE *Aceptar_datos(int codigo, const char *texto_accept, const char *modo,
                    const char *nombre, int *cierre)
{
	int accept_fd = -1;
	FILE *flujo = NULL;

	/* Only a preliminary reply promises a connection; any other is the
	 * transfer's last word. */
	*cierre = !Preliminar(codigo);
	if (!*cierre)
		accept_fd = Esperar_conexion(texto_accept, cierre);
	close(data_sockfd);
	data_sockfd = -1;
	if (accept_fd >= 0 && (flujo = fdopen(accept_fd, modo)) == NULL) {
		printf("ERROR en la apertura de fichero %s\n", nombre);
		close(accept_fd);
	}
	if (flujo == NULL && !*cierre) {
		Respuesta();
		*cierre = 1;
	}
	return flujo;
}

/* Closes the data connection, then reads the transfer's closing reply
 * unless it came already.  Some servers send it only once they see our
 * end closed, so the close must come first. */
void Cerrar_datos(FILE **flujo, int cierre)
{
	fclose(*flujo);
	*flujo = NULL;
	if (!cierre)
		Respuesta();
}
