// What the fuzz targets share: checks that stay in every build type, and
// the reader of the control connection laid over an input.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "comun.h"

// Checked in every build type: NDEBUG must not turn the checks off.
#define EXIGIR(c) \
	do { if (!(c)) { fprintf(stderr, "no se cumple: %s\n", #c); abort(); } } while (0)

// Lays the tam bytes at datos into the reader of the control connection
// as if one read had brought them all, over a pipe whose writer is
// closed, so that the next read finds the end: the same path through the
// reader as a socket whose server has sent them and closed, without a
// system call per input to set it up.  Returns 0 when they do not fit.
inline int Llegar(const uint8_t *datos, size_t tam)
{
	static int fin_del_tubo = -1;
	if (tam > sizeof llegada_control.datos)
		return 0;
	if (fin_del_tubo < 0) {
		int tubo[2];
		EXIGIR(pipe(tubo) == 0);
		close(tubo[1]);
		fin_del_tubo = tubo[0];
	}
	Preparar_llegada(&llegada_control, fin_del_tubo);
	memcpy(llegada_control.datos, datos, tam);
	llegada_control.fin = tam;
	return 1;
}
