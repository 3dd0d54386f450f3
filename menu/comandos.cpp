/* The commands that need only the control connection. */
#include <stdio.h>
#include <string.h>

#include "comun.h"

/* Shown when the server's answer to PWD names no directory. */
static const char DESCONOCIDO[] = "(desconocido)";

/* Takes the directory name between the first two double quotes of the
 * n bytes in buffer into dir_actual.  A name too long to show is cut and
 * marked with "...", so it is never taken for the whole name. */
static void Copiar_directorio(int n)
{
	const char *abre, *cierra;
	size_t largo;

	abre = static_cast<const char *>(memchr(buffer, '"', n));
	cierra = abre ? static_cast<const char *>(memchr(abre + 1, '"', buffer + n - (abre + 1))) : NULL;
	if (cierra == NULL) {
		strcpy(dir_actual, DESCONOCIDO);
		return;
	}
	largo = cierra - (abre + 1);
	if (largo < sizeof dir_actual) {
		memcpy(dir_actual, abre + 1, largo);
		dir_actual[largo] = '\0';
	} else {
		memcpy(dir_actual, abre + 1, sizeof dir_actual - 4);
		strcpy(dir_actual + sizeof dir_actual - 4, "...");
	}
}

/* Reads the server's answer to PWD into dir_actual.  It is not shown:
 * only the first piece of its first line is looked at, and the rest of
 * the reply is read silently, so that the next command gets its own. */
void Leer_directorio(void)
{
	struct Lectura l = LECTURA_NUEVA;
	int n;

	if ((n = Leer_trozo(&l)) < 0) {
		strcpy(dir_actual, DESCONOCIDO);
		return;
	}
	Copiar_directorio(n);
	Leer_respuesta(&l, 0);
}

/* Asks the server where it stands (PWD) and keeps the answer in
 * dir_actual. */
void Directorio(void)
{
	Enviar_comando("PWD\r\n");
	Leer_directorio();
}

/* Menu entry 1: CWD to a directory the user names, then PWD, so that the
 * menu shows where the server really stands. */
void Cambiar_directorio(void)
{
	char subd[TAM_SUBDIR];

	if (Pedir_nombre("Introduce el nuevo directorio: ", subd, sizeof subd) <= 0)
		return;
	Enviar_comando("CWD %s\r\n", subd);
	Respuesta();
	Directorio();
}

/* Menu entry 3: toggles the transfer type between A and I.  The letter
 * changes whatever the server answers. */
void Cambiar_tipo(void)
{
	tipo = tipo == 'A' ? 'I' : 'A';
	Enviar_comando("TYPE %c\r\n", tipo);
	Respuesta();
}

/* Menu entry 6: shows the server's help. */
void Ayuda(void)
{
	Enviar_comando("HELP\r\n");
	Respuesta();
}
