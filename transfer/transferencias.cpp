/* Listing, download and upload, each over a data connection of its own
 * that Conexion_datos has announced.  Data moves through buffer in lines
 * of up to TAM_BUFFER - 1 bytes or blocks of up to TAM_BUFFER bytes. */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "comun.h"

/* The blocks stay small, but the streams under them read and write the
 * kernel in large pieces, of sizes chosen by measurement (bench/medir.sh).
 * A download's speed follows the size of its socket reads: larger reads
 * cost less CPU but keep more memory resident.  Behind them the local
 * file needs pieces only large enough to keep its calls few. */
static char buf_red[1 << 18];
static char buf_fichero[1 << 16];

/* Menu entry 2: shows the listing of the current remote directory as the
 * server sends it, line by line, through the reader the replies use.
 * Returns 1, or 0 after a reported failure. */
int Listar(void)
{
	static struct Llegada listado;
	int cierre, n, bien;

	Enviar_comando("LIST\r\n");
	datosL = Aceptar_datos(Respuesta(), "accept", "r", "datosL", &cierre);
	if (datosL == NULL)
		return 0;
	Preparar_llegada(&listado, fileno(datosL));
	while ((n = Tomar_trozo(&listado)) >= 0)
		Mostrar(buffer, (size_t)n);
	Acabar_texto();
	bien = listado.acabada > 0;
	if (!bien)
		Fallo_en("datosL", "%s", strerror(listado.error));
	Cerrar_datos(&datosL, cierre);
	return bien;
}

/* Menu entry 4: fetches the remote file fichero into the local file of the
 * same name, created or emptied.  Returns 1, or 0 after a reported
 * failure; a transfer cut short leaves what arrived. */
int Get(const char *fichero)
{
	FILE *fich;
	size_t n_leidos;
	int cierre, bien = 1;

	Enviar_comando("RETR %s\r\n", fichero);
	datosL = Aceptar_datos(Respuesta(), "accept para get", "r", "datosL", &cierre);
	if (datosL == NULL)
		return 0;
	if ((fich = fopen(fichero, "w+")) == NULL) {
		printf("ERROR en la apertura fichero del fichero a obtener.\n");
		Cerrar_datos(&datosL, cierre);
		return 0;
	}
	setvbuf(datosL, buf_red, _IOFBF, sizeof buf_red);
	setvbuf(fich, buf_fichero, _IOFBF, sizeof buf_fichero);
	while ((n_leidos = fread(buffer, 1, sizeof buffer, datosL)) > 0) {
		if (fwrite(buffer, 1, n_leidos, fich) != n_leidos) {
			Error_en(fichero);
			bien = 0;
			break;
		}
	}
	if (ferror(datosL)) {
		Error_en("datosL");
		bien = 0;
	}
	if (fclose(fich) == EOF && bien) {
		Error_en(fichero);
		bien = 0;
	}
	Cerrar_datos(&datosL, cierre);
	return bien;
}

/* Menu entry 5: sends the local file fichero to the server under the same
 * name.  Returns 1, or 0 after a reported failure. */
int Put(const char *fichero)
{
	FILE *fich = NULL;
	struct stat datos;
	size_t n_leidos;
	int fd, cierre, bien = 1;

	/* Only a regular file is sent: a directory opens too, and its first
	 * read fails, which would empty the server's file of that name.  What
	 * is checked is what was opened, so that the name cannot be changed to
	 * something else in between.  O_NONBLOCK keeps a FIFO from holding the
	 * open until a writer comes; a regular file's reads ignore it. */
	if ((fd = open(fichero, O_RDONLY | O_NONBLOCK)) >= 0 &&
	    (fstat(fd, &datos) != 0 || !S_ISREG(datos.st_mode) || (fich = fdopen(fd, "r")) == NULL))
		close(fd);
	if (fich == NULL) {
		printf("ERROR en la apertura del fichero a enviar.\n");
		close(data_sockfd);
		data_sockfd = -1;
		return 0;
	}
	Enviar_comando("STOR %s\r\n", fichero);
	datosE = Aceptar_datos(Respuesta(), "accept para put", "w+", "datosE", &cierre);
	if (datosE == NULL) {
		fclose(fich);
		return 0;
	}
	setvbuf(fich, buf_fichero, _IOFBF, sizeof buf_fichero);
	/* Unbuffered: each block goes to the kernel as soon as it is read, so
	 * that no more of the file than the one block is ever held here, and a
	 * connection the server has cut fails the very write that meets it. */
	setvbuf(datosE, NULL, _IONBF, 0);
	while ((n_leidos = fread(buffer, 1, sizeof buffer, fich)) > 0) {
		if (fwrite(buffer, 1, n_leidos, datosE) != n_leidos) {
			Error_en("datosE");
			bien = 0;
			break;
		}
	}
	if (ferror(fich)) {
		Error_en(fichero);
		bien = 0;
	}
	fclose(fich);
	/* The server reports the end of the upload once it sees the data
	 * connection closed. */
	Cerrar_datos(&datosE, cierre);
	return bien;
}
