/* What the user types: words and names read from standard input. */
#include <ctype.h>
#include <stdio.h>

#include "comun.h"

/* Reads one word from standard input: leading blanks and line ends are
 * skipped, and the word ends at the next blank or line end, which stays
 * unread.  At most tam - 1 characters are stored; the rest of a longer
 * word is read and dropped.  Returns the whole word's length, or -1 when
 * the input ended before any word. */
int Leer_palabra(char *destino, size_t tam)
{
	size_t n = 0;
	int ch;

	while ((ch = getchar()) != EOF && isspace(ch))
		;
	while (ch != EOF && !isspace(ch)) {
		if (n + 1 < tam)
			destino[n] = (char)ch;
		n++;
		ch = getchar();
	}
	if (ch != EOF)
		ungetc(ch, stdin);
	destino[n + 1 < tam ? n : tam - 1] = '\0';
	return n == 0 ? -1 : (int)n;
}

/* Drops what is left of the current input line. */
void Descartar_linea(void)
{
	int ch;

	while ((ch = getchar()) != EOF && ch != '\n')
		;
}

/* Shows the prompt aviso and reads a name into destino.  A name that does
 * not fit is refused rather than cut, since a cut name may well be some
 * other file.  Returns 1 with a name, 0 after refusing one, -1 at the end
 * of the input. */
int Pedir_nombre(const char *aviso, char *destino, size_t tam)
{
	int largo;

	printf("%s", aviso);
	fflush(stdout);
	if ((largo = Leer_palabra(destino, tam)) < 0)
		return -1;
	if ((size_t)largo >= tam) {
		printf("ERROR: el nombre pasa de %d caracteres.\n", (int)tam - 1);
		return 0;
	}
	return 1;
}
