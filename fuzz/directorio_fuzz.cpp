// Arbitrary bytes as the server's answer to PWD, read by Leer_directorio,
// the part of Directorio after the command is sent, as if the server had
// sent them and closed.  The name kept must be a terminated string that
// fits dir_actual and holds no quote or line end, and the line buffer
// must stay terminated.
#include "apoyo_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t tam)
{
	if (tam == 0 || !Llegar(datos, tam))
		return 0;
	memset(dir_actual, 'x', sizeof dir_actual);
	Leer_directorio();
	const char *fin = static_cast<const char *>(memchr(dir_actual, '\0', TAM_DIR));
	EXIGIR(fin != nullptr);
	EXIGIR(strpbrk(dir_actual, "\"\n") == nullptr);
	EXIGIR(memchr(buffer, '\0', TAM_BUFFER) != nullptr);
	return 0;
}
