/* The main menu: one pass shows it, reads a choice and runs it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "comun.h"

/* Reads the menu choice into opcion.  Returns 1 with a number, 0 after
 * input that is not one (whose line is then dropped, so the same bad
 * input is not met again), -1 at the end of the input.  A number outside
 * the menu is kept outside it, as -1, before it is narrowed to an int:
 * 4294967297 must not turn into 1. */
static int Leer_opcion(int *opcion)
{
	char texto[12];
	char *fin;
	long valor;
	int largo;

	if ((largo = Leer_palabra(texto, sizeof texto)) < 0)
		return -1;
	valor = strtol(texto, &fin, 10);
	if ((size_t)largo >= sizeof texto || !Empieza_numero(texto[0]) || fin == texto || *fin != '\0') {
		Descartar_linea();
		return 0;
	}
	*opcion = valor < 0 || valor > 6 ? -1 : (int)valor;
	return 1;
}

/* Shows the menu, reads a choice and runs it.  Returns 0 when the user
 * leaves, or the input ends, and 1 to go on. */
int Menu(void)
{
	char fichero[TAM_FICHERO];
	int opcion, r;

	Comprobar_control();
	printf("\nMENU\n");
	printf("0. Salir.\n");
	printf("1. Cambiar directorio. Directorio actual: ");
	Mostrar(dir_actual, strlen(dir_actual));
	Acabar_texto();
	printf("\n");
	printf("2. Listar archivos\n");
	printf("3. Cambiar BINARIO/ASCII. Actual: %c\n", tipo);
	printf("4. Traer un archivo.\n");
	printf("5. Enviar un archivo.\n");
	printf("6. Ayuda.\n");
	printf("\n");
	Mostrar_aviso("Opcion: ");

	if ((r = Leer_opcion(&opcion)) < 0)
		return 0;
	if (r == 0 || (unsigned)opcion > 6) {
		printf("ERROR\n");
		return 1;
	}
	switch (opcion) {
	case 0:
		return 0;
	case 1:
		Cambiar_directorio();
		break;
	case 2:
		if (Conexion_datos())
			Listar();
		break;
	case 3:
		Cambiar_tipo();
		break;
	case 4:
		if (Pedir_nombre("Nombre del fichero: ", fichero, sizeof fichero) > 0 && Conexion_datos())
			Get(fichero);
		break;
	case 5:
		if (Pedir_nombre("Nombre del fichero: ", fichero, sizeof fichero) > 0 && Conexion_datos())
			Put(fichero);
		break;
	case 6:
		Ayuda();
		break;
	}
	/* Input that ended at a later prompt ends the conversation too. */
	return !feof(stdin);
}
