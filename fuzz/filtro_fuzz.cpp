// Arbitrary bytes as server text shown on a terminal, under the UTF-8
// rule and the 8-bit one; the first four bytes choose two points where
// the text is cut in three pieces.  For each rule the text is shown whole
// and in those pieces, and then:
// - both must be the same bytes: a piece's end decides nothing;
// - read back alongside the text, the output must be, byte for byte of
//   the text, either that byte or its escape \xHH (two lower-case hex
//   digits).  The text is walked with the output, so a backslash, an x
//   and two hex digits that the server sent are matched as the four bytes
//   they are, never decoded: a byte other than a backslash is never shown
//   as itself and as the start of an escape at once.  Text is never
//   escaped: printable ASCII, TAB, LF, CR LF, a byte A0-FF but the lead
//   of an encoded C1 control, a well-formed UTF-8 sequence in UTF-8;
// - no byte that a terminal takes for a command is left in the output: a
//   C0 control but TAB, LF and the CR of CR LF, DEL, and a C1 control, in
//   the 8-bit rule any byte 80-9F, in UTF-8 any 80-9F that is not inside
//   a well-formed sequence, and the sequences of U+0080-U+009F.  The
//   well-formed sequences are found here by the code point they decode to
//   (not overlong, no surrogate, at most U+10FFFF), not by the filter's
//   table of byte ranges.
#include <initializer_list>

#include "apoyo_fuzz.h"

// The checks below are not the code under test: their comparisons guide
// nothing, and tracing them would cost most of the time of a run.
#define SIN_COBERTURA __attribute__((no_sanitize("coverage")))

// The longest text, the rest of a longer input left out: a piece as the
// reader takes it.  The filter holds 3 bytes at most, so nothing it does
// needs a longer one.  Its output is at most 4 bytes a byte.
static const size_t MAXIMO = TAM_BUFFER - 1;

// The length of the well-formed UTF-8 sequence at p (of n bytes) and its
// code point in *cp, or 0 when none starts there.
SIN_COBERTURA static size_t Secuencia(const unsigned char *p, size_t n, uint32_t *cp)
{
	size_t largo = p[0] >= 0xc0 && p[0] < 0xe0 ? 2 : p[0] >= 0xe0 && p[0] < 0xf0 ? 3 : p[0] >= 0xf0 && p[0] < 0xf8 ? 4 : 0;
	static const uint32_t menor[] = {0, 0, 0x80, 0x800, 0x10000};
	if (largo == 0 || largo > n)
		return 0;
	*cp = p[0] & (0x7f >> largo);
	for (size_t j = 1; j < largo; j++) {
		if ((p[j] & 0xc0) != 0x80)
			return 0;
		*cp = *cp << 6 | (p[j] & 0x3f);
	}
	if (*cp < menor[largo] || (*cp >= 0xd800 && *cp <= 0xdfff) || *cp > 0x10ffff)
		return 0;
	return largo;
}

// Checks that s (n bytes) leaves a terminal nothing to take for a command.
SIN_COBERTURA static void Sin_ordenes(const unsigned char *s, size_t n, int regla)
{
	for (size_t i = 0; i < n; i++) {
		uint32_t cp;
		size_t largo = regla == REGLA_UTF8 ? Secuencia(s + i, n - i, &cp) : 0;
		if (largo > 0) {
			EXIGIR(cp < 0x80 || cp > 0x9f);
			i += largo - 1;
			continue;
		}
		if (s[i] == '\r') {
			EXIGIR(i + 1 < n && s[i + 1] == '\n');
			continue;
		}
		EXIGIR(s[i] >= 0x20 || s[i] == '\t' || s[i] == '\n');
		EXIGIR(s[i] != 0x7f && (s[i] < 0x80 || s[i] > 0x9f));
	}
}

// Checks that s (n bytes) is the text t (m bytes) shown under regla,
// each byte as it is or escaped, and escaped only when it must be: never
// printable ASCII, TAB, LF, the CR of CR LF, a byte A0-FF (but the lead
// of a UTF-8 C1 control), nor in UTF-8 a byte of a well-formed sequence
// other than a C1 control's.
SIN_COBERTURA static void Lo_mismo(const unsigned char *s, size_t n, const unsigned char *t, size_t m, int regla)
{
	static const char cifras[] = "0123456789abcdef";
	static int32_t punto[MAXIMO];   // the code point of the sequence each byte of t is in, or -1
	size_t i = 0, j = 0;
	for (j = 0; j < m;) {
		uint32_t cp;
		size_t largo = regla == REGLA_UTF8 ? Secuencia(t + j, m - j, &cp) : 0;
		for (size_t k = 0; k < (largo ? largo : 1); k++)
			punto[j++] = largo ? (int32_t)cp : -1;
	}
	for (j = 0; j < m; j++) {
		char escape[4] = {'\\', 'x', cifras[t[j] >> 4], cifras[t[j] & 0xf]};
		if (i < n && s[i] == t[j]) {
			i++;
			continue;
		}
		EXIGIR(!((t[j] >= 0x20 && t[j] < 0x7f) || t[j] == '\t' || t[j] == '\n'));
		EXIGIR(!(t[j] == '\r' && j + 1 < m && t[j + 1] == '\n'));
		EXIGIR(punto[j] < 0 ? t[j] < 0xa0 : punto[j] >= 0x80 && punto[j] <= 0x9f);
		EXIGIR(i + 4 <= n && memcmp(s + i, escape, 4) == 0);
		i += 4;
	}
	EXIGIR(i == n);
}

// Shows t (m bytes) under regla into f, in pieces that end at cortes (in
// order, the last m).  Returns the output's length.
SIN_COBERTURA static size_t Mostrar_en(FILE *f, int regla, const unsigned char *t, const size_t *cortes, size_t n_cortes)
{
	size_t hecho = 0;
	rewind(f);
	Elegir_regla(f, regla);
	for (size_t k = 0; k < n_cortes; k++) {
		Mostrar((const char *)t + hecho, cortes[k] - hecho);
		hecho = cortes[k];
	}
	Acabar_texto();
	EXIGIR(fflush(f) == 0);
	return (size_t)ftell(f);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t tam)
{
	static unsigned char entera[4 * MAXIMO + 1], partida[4 * MAXIMO + 1];
	static FILE *fe = fmemopen(entera, sizeof entera, "w"), *fp = fmemopen(partida, sizeof partida, "w");
	if (tam < 4)
		return 0;
	EXIGIR(fe && fp);
	const unsigned char *t = datos + 4;
	size_t m = tam - 4 < MAXIMO ? tam - 4 : MAXIMO;
	size_t a = (datos[0] | (size_t)datos[1] << 8) % (m + 1), b = (datos[2] | (size_t)datos[3] << 8) % (m + 1);
	size_t tres[3] = {a < b ? a : b, a < b ? b : a, m};
	for (int regla : {REGLA_UTF8, REGLA_8BITS}) {
		size_t n = Mostrar_en(fe, regla, t, &m, 1);
		EXIGIR(Mostrar_en(fp, regla, t, tres, 3) == n && memcmp(partida, entera, n) == 0);
		Lo_mismo(entera, n, t, m, regla);
		Sin_ordenes(entera, n, regla);
	}
	return 0;
}
