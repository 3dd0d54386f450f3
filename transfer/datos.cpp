/* The data connection: active mode, one listening socket per transfer,
 * announced with PORT and accepted once. */
#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "comun.h"

/* Opens a listening socket on our own address of the control connection,
 * on a port the system chooses, and announces it with PORT.  Returns 1,
 * or 0 after reporting; data_sockfd is then left closed. */
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

/* Waits until the server's data connection is pending on data_sockfd,
 * reading the replies that come on the control connection meanwhile.
 * Returns 1 with a connection to take, 0 when a reply or the end of the
 * control connection says none will come.  *cierre is set once the
 * transfer's closing reply has been read. */
static int Esperar_conexion(int *cierre)
{
	struct pollfd p[2];
	int codigo, listo;

	p[0].fd = data_sockfd;
	p[0].events = POLLIN;
	p[1].fd = fileno(controlL);
	p[1].events = POLLIN;
	for (;;) {
		/* A reply may already sit in controlL's buffer, where poll
		 * cannot see it; then only look whether a connection waits. */
		listo = Respuesta_pendiente();
		if (poll(p, 2, listo || *cierre ? 0 : -1) < 0) {
			if (errno == EINTR)
				continue;
			Error_en("poll");
			return 0;
		}
		/* A fast server connects, sends and reports before we look:
		 * a pending connection always comes first. */
		if (p[0].revents)
			return 1;
		if (*cierre)
			return 0;
		if (listo || p[1].revents) {
			codigo = Respuesta();
			if (codigo < 100 || codigo >= 200)
				*cierre = 1;
			if (codigo < 100 || codigo >= 300)
				return 0;
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
	socklen_t aux = sizeof data_addr;
	int accept_fd = -1;
	FILE *flujo = NULL;

	/* Only a preliminary reply promises a connection; any other is the
	 * transfer's last word. */
	*cierre = codigo < 100 || codigo >= 200;
	if (!*cierre && Esperar_conexion(cierre)) {
		accept_fd = accept(data_sockfd, (struct sockaddr *)&data_addr, &aux);
		if (accept_fd < 0)
			Error_en(texto_accept);
	}
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
