// Arbitrary bytes as the server's reply stream, read reply after reply by
// Respuesta until the stream ends, as if the server had sent them and
// closed.  Every byte must be shown exactly once and in order (into a
// stream that is not a terminal, where every byte goes as it came), the
// line buffer must stay terminated, and a code is never more than three
// characters of number.
#include "apoyo_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t tam)
{
	static char salida[1 << 16];
	static FILE *pantalla = fmemopen(salida, sizeof salida, "w");
	if (tam == 0 || tam > sizeof salida || !Llegar(datos, tam))
		return 0;
	EXIGIR(pantalla);
	rewind(pantalla);
	Elegir_regla(pantalla, Regla_de(pantalla));
	while (!llegada_control.acabada) {
		int codigo = Respuesta();
		EXIGIR(memchr(buffer, '\0', TAM_BUFFER) != nullptr);
		EXIGIR(codigo >= -99 && codigo <= 999);
	}
	EXIGIR(fflush(pantalla) == 0);
	EXIGIR(ftell(pantalla) == (long)tam && memcmp(salida, datos, tam) == 0);
	return 0;
}
