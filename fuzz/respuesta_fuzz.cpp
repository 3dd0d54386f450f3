// Arbitrary bytes as the server's reply stream, read reply after reply by
// Respuesta until the stream ends.  Every byte must be shown exactly once
// and in order, the line buffer must stay terminated, and a code is never
// more than three characters of number.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "comun.h"

// Checked in every build type: NDEBUG must not turn the checks off.
#define EXIGIR(c) \
	do { if (!(c)) { fprintf(stderr, "no se cumple: %s\n", #c); abort(); } } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t tam)
{
	static char salida[1 << 20];
	if (tam == 0 || tam >= sizeof salida)
		return 0;
	controlL = fmemopen(const_cast<uint8_t *>(datos), tam, "r");
	FILE *pantalla = fmemopen(salida, sizeof salida, "w");
	EXIGIR(controlL && pantalla);
	setvbuf(pantalla, nullptr, _IONBF, 0);   // no NUL written after the bytes
	FILE *anterior = stdout;
	stdout = pantalla;
	while (!feof(controlL) && !ferror(controlL)) {
		int codigo = Respuesta();
		EXIGIR(memchr(buffer, '\0', TAM_BUFFER) != nullptr);
		EXIGIR(codigo >= -99 && codigo <= 999);
	}
	long mostrados = ftell(pantalla);
	stdout = anterior;
	fclose(pantalla);
	fclose(controlL);
	controlL = nullptr;
	EXIGIR(mostrados == (long)tam && memcmp(salida, datos, tam) == 0);
	return 0;
}
