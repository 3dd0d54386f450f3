// Arbitrary bytes as the server's reply stream, read reply after reply by
// Respuesta until the stream ends.  They come through a socket, as from a
// server, over the streams quelt lays on its control connection.  Every
// byte must be shown exactly once and in order, the line buffer must stay
// terminated, and a code is never more than three characters of number.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "comun.h"

// Checked in every build type: NDEBUG must not turn the checks off.
#define EXIGIR(c) \
	do { if (!(c)) { fprintf(stderr, "no se cumple: %s\n", #c); abort(); } } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t tam)
{
	static char salida[1 << 16];
	int sv[2];
	// What a socket pair takes without a reader: the whole input is
	// written before the first reply is read.
	if (tam == 0 || tam >= sizeof salida)
		return 0;
	EXIGIR(socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0);
	EXIGIR(write(sv[1], datos, tam) == (ssize_t)tam);
	close(sv[1]);
	sockfd = sv[0];
	EXIGIR(Abrir_ficheros() == 1);
	FILE *pantalla = fmemopen(salida, sizeof salida, "w");
	EXIGIR(pantalla);
	setvbuf(pantalla, nullptr, _IONBF, 0);   // no NUL written after the bytes
	FILE *anterior = stdout;
	stdout = pantalla;
	while (!llegada_control.acabada) {
		int codigo = Respuesta();
		EXIGIR(memchr(buffer, '\0', TAM_BUFFER) != nullptr);
		EXIGIR(codigo >= -99 && codigo <= 999);
	}
	long mostrados = ftell(pantalla);
	stdout = anterior;
	fclose(pantalla);
	fclose(controlL);
	fclose(controlE);
	controlL = controlE = nullptr;
	EXIGIR(mostrados == (long)tam && memcmp(salida, datos, tam) == 0);
	return 0;
}
