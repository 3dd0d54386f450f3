/* quelt: an interactive FTP client.  Entry point and login. */
#include <locale.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "comun.h"

/* The user ended the input while logging in: leave the server politely
 * and end without claiming success. */
static void Fin_de_entrada(void)
{
	Fallo_en("la entrada", "se ha terminado antes del login");
	Salir();
	exit(1);
}

/* One login attempt: asks for name and password and sends both.  Returns
 * the code of the reply to PASS, which alone says whether it worked. */
static int Usuario(void)
{
	char nombre[TAM_NOMBRE];
	char *password;
	int r;

	while ((r = Pedir_nombre("Nombre: ", nombre, sizeof nombre)) == 0)
		;
	if (r < 0)
		Fin_de_entrada();
	Enviar_comando("USER %s\r\n", nombre);
	Respuesta();
	Comprobar_control();	/* no password asked of a server that has gone */
	if ((password = Leer_clave()) == NULL)
		Fin_de_entrada();
	Enviar_comando("PASS %s\r\n", password);
	memset(password, 0, strlen(password));
	return Respuesta();
}

int main(int argc, char *argv[])
{
	if (argc != 2) {
		printf("Uso: quelt nombre del host\n");
		exit(1);
	}
	/* The system's own texts after "ERROR en ...: " in the user's
	 * language and character set, and the server's text shown on a
	 * terminal in that character set; nothing else follows the locale. */
	setlocale(LC_CTYPE, "");
	setlocale(LC_MESSAGES, "");
	Elegir_regla(stdout, Regla_de(stdout));
	/* A write to a connection the server has closed must come back as an
	 * error to report, not end the program without a word. */
	signal(SIGPIPE, SIG_IGN);
	/* Unbuffered, standard input leaves what is typed ahead in the
	 * terminal or the pipe, where poll sees it: the control connection is
	 * then watched only while nothing waits to be read. */
	setvbuf(stdin, NULL, _IONBF, 0);

	if ((sockfd = Conexion(argv[1])) < 0)
		exit(1);
	if (!Abrir_ficheros())
		exit(1);
	Respuesta();
	Comprobar_control();
	while (Rechazada(Usuario()))
		;
	Comprobar_control();
	tipo = 'A';
	Directorio();
	while (Menu())
		;
	Salir();
	return 0;
}
