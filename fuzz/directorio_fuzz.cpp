// Arbitrary bytes as the server's answer to PWD, read by Directorio.  The
// name kept must be a terminated string that fits dir_actual and holds no
// quote or line end, and the line buffer must stay terminated.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "comun.h"

// Checked in every build type: NDEBUG must not turn the checks off.
#define EXIGIR(c) \
	do { if (!(c)) { fprintf(stderr, "no se cumple: %s\n", #c); abort(); } } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t tam)
{
	if (tam == 0)
		return 0;
	if (controlE == nullptr)
		controlE = fopen("/dev/null", "w");
	controlL = fmemopen(const_cast<uint8_t *>(datos), tam, "r");
	EXIGIR(controlE && controlL);
	memset(dir_actual, 'x', sizeof dir_actual);
	Directorio();
	const char *fin = static_cast<const char *>(memchr(dir_actual, '\0', TAM_DIR));
	EXIGIR(fin != nullptr);
	EXIGIR(strpbrk(dir_actual, "\"\n") == nullptr);
	EXIGIR(memchr(buffer, '\0', TAM_BUFFER) != nullptr);
	fclose(controlL);
	controlL = nullptr;
	return 0;
}
