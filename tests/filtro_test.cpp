// The terminal filter, row by row: what the server sent, and what a
// terminal shows of it in UTF-8 and in any other character set.  Each row
// is shown whole, cut in two at every point, and one byte at a time, and
// must look the same every way: where a piece ends decides nothing.
#include <clocale>
#include <cstdio>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "comun.h"

using namespace std::string_literals;

// Shows the text t under regla, cut at the points in cortes, and returns
// what came out.
static std::string Mostrado(int regla, const std::string &t, const std::vector<size_t> &cortes)
{
  static char salida[1 << 14];
  FILE *f = fmemopen(salida, sizeof salida, "w");
  if (f == nullptr) return "(fmemopen: " + std::string(strerror(errno)) + ")";
  Elegir_regla(f, regla);
  size_t hecho = 0;
  for (size_t c : cortes) {
    Mostrar(t.data() + hecho, c - hecho);
    hecho = c;
  }
  Mostrar(t.data() + hecho, t.size() - hecho);
  Acabar_texto();
  fflush(f);
  std::string s(salida, (size_t)ftell(f));
  fclose(f);
  return s;
}

static std::string Veces(int n, const std::string &s)
{
  std::string r;
  while (n-- > 0) r += s;
  return r;
}

TEST(Filtro, CadaFilaEnCadaReglaYCualquierCorte)
{
  struct { const char *nombre; std::string llega, utf8, ocho_bits; } casos[] = {
      {"ASCII", "hola, mundo 123 ~{}", "hola, mundo 123 ~{}", "hola, mundo 123 ~{}"},
      {"TAB", "a\tb", "a\tb", "a\tb"},
      {"LF", "a\nb\n", "a\nb\n", "a\nb\n"},
      {"CR LF", "a\r\nb", "a\r\nb", "a\r\nb"},
      {"CR solo", "a\rb", "a\\x0db", "a\\x0db"},
      {"CR al final", "a\r", "a\\x0d", "a\\x0d"},
      {"CR CR LF", "\r\r\n", "\\x0d\r\n", "\\x0d\r\n"},
      {"ESC", "\x1b[2J\x1b]2;X\x07", "\\x1b[2J\\x1b]2;X\\x07", "\\x1b[2J\\x1b]2;X\\x07"},
      {"NUL", "a\0b"s, "a\\x00b", "a\\x00b"},
      {"DEL", "\x7f", "\\x7f", "\\x7f"},
      {"barra y x", "\\x41\\", "\\x41\\", "\\x41\\"},
      {"C1 solos", "\x80\x9b\x9f", "\\x80\\x9b\\x9f", "\\x80\\x9b\\x9f"},
      {"C2 9B", "\xc2\x9b", "\\xc2\\x9b", "\xc2\\x9b"},
      {"C2 A0", "\xc2\xa0", "\xc2\xa0", "\xc2\xa0"},
      {"C3 9B", "\xc3\x9b", "\xc3\x9b", "\xc3\\x9b"},
      {"C3 9D", "\xc3\x9d", "\xc3\x9d", "\xc3\\x9d"},
      {"C3 85", "\xc3\x85", "\xc3\x85", "\xc3\\x85"},
      {"F1 latin-1", "\xf1o", "\xf1o", "\xf1o"},
      {"F1 al final", "a\xf1", "a\xf1", "a\xf1"},
      {"UTF-8 de 1 a 4", "A\xc3\xb1\xe2\x82\xac\xf0\x9f\x98\x80", "A\xc3\xb1\xe2\x82\xac\xf0\x9f\x98\x80",
       "A\xc3\xb1\xe2\\x82\xac\xf0\\x9f\\x98\\x80"},
      {"devanagari", "\xe0\xa4\x95", "\xe0\xa4\x95", "\xe0\xa4\\x95"},
      // A whole piece of controls after a sequence cut short: more than the
      // filter gathers for one write.
      {"pieza entera", "\xf0\x90\x80" + std::string(1023, '\x01'), "\xf0\\x90\\x80" + Veces(1023, "\\x01"),
       "\xf0\\x90\\x80" + Veces(1023, "\\x01")},
      {"E0 9F 80", "\xe0\x9f\x80", "\xe0\\x9f\\x80", "\xe0\\x9f\\x80"},
      {"E0 A0 80", "\xe0\xa0\x80", "\xe0\xa0\x80", "\xe0\xa0\\x80"},
      {"ED 9F BF", "\xed\x9f\xbf", "\xed\x9f\xbf", "\xed\\x9f\xbf"},
      {"ED A0 80", "\xed\xa0\x80", "\xed\xa0\\x80", "\xed\xa0\\x80"},
      {"F0 8F BF BF", "\xf0\x8f\xbf\xbf", "\xf0\\x8f\xbf\xbf", "\xf0\\x8f\xbf\xbf"},
      {"F0 90 80 80", "\xf0\x90\x80\x80", "\xf0\x90\x80\x80", "\xf0\\x90\\x80\\x80"},
      {"F4 8F BF BF", "\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf", "\xf4\\x8f\xbf\xbf"},
      {"F4 90 80 80", "\xf4\x90\x80\x80", "\xf4\\x90\\x80\\x80", "\xf4\\x90\\x80\\x80"},
      {"C0 80", "\xc0\x80", "\xc0\\x80", "\xc0\\x80"},
      {"F5 80", "\xf5\x80", "\xf5\\x80", "\xf5\\x80"},
      {"C3 al final", "a\xc3", "a\xc3", "a\xc3"},
      {"E2 82 al final", "\xe2\x82", "\xe2\\x82", "\xe2\\x82"},
      {"F0 9F 98 al final", "\xf0\x9f\x98", "\xf0\\x9f\\x98", "\xf0\\x9f\\x98"},
      {"E2 82 y texto", "\xe2\x82" "x", "\xe2\\x82" "x", "\xe2\\x82" "x"},
      {"E2 y CR LF", "\xe2\r\n", "\xe2\r\n", "\xe2\r\n"},
      {"CR y UTF-8", "\r\xc3\xb1", "\\x0d\xc3\xb1", "\\x0d\xc3\xb1"},
      {"C1 y C2 al final", "\x9b\xc2", "\\x9b\xc2", "\\x9b\xc2"},
  };
  for (auto &k : casos)
    for (int regla : {REGLA_UTF8, REGLA_8BITS}) {
      SCOPED_TRACE(std::string(k.nombre) + (regla == REGLA_UTF8 ? ", UTF-8" : ", 8 bits"));
      const std::string &esperado = regla == REGLA_UTF8 ? k.utf8 : k.ocho_bits;
      EXPECT_EQ(Mostrado(regla, k.llega, {}), esperado);
      std::vector<size_t> todos;
      for (size_t c = 1; c < k.llega.size(); c++) {
        EXPECT_EQ(Mostrado(regla, k.llega, {c}), esperado) << "cut at " << c;
        todos.push_back(c);
      }
      EXPECT_EQ(Mostrado(regla, k.llega, todos), esperado) << "one byte at a time";
      // Anywhere but on a terminal every byte goes as it came.
      EXPECT_EQ(Mostrado(REGLA_TAL_CUAL, k.llega, todos), k.llega);
    }
}

// A text's end shows what it held: nothing of it waits for the next text.
TEST(Filtro, UnTextoAcabaDondeAcaba)
{
  static char salida[64];
  FILE *f = fmemopen(salida, sizeof salida, "w");
  ASSERT_NE(f, nullptr);
  Elegir_regla(f, REGLA_UTF8);
  Mostrar("a\r", 2);
  Acabar_texto();
  Mostrar("\n\xe2\x82", 3);
  Acabar_texto();
  Mostrar("\xac", 1);
  Acabar_texto();
  fflush(f);
  EXPECT_EQ(std::string(salida, (size_t)ftell(f)), "a\\x0d\n\xe2\\x82\xac");
  fclose(f);
}

// The rule a stream gets: every byte as it came unless it is a terminal,
// then the locale's character set decides.
TEST(Filtro, ReglaPorSalidaYJuegoDeCaracteres)
{
  FILE *fichero = tmpfile();
  ASSERT_NE(fichero, nullptr);
  EXPECT_EQ(Regla_de(fichero), REGLA_TAL_CUAL);
  fclose(fichero);
  int amo, esclavo;
  if (openpty(&amo, &esclavo, nullptr, nullptr, nullptr) != 0) GTEST_SKIP() << "openpty: " << strerror(errno);
  FILE *terminal = fdopen(esclavo, "w");
  ASSERT_NE(terminal, nullptr);
  std::string antes = setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(setlocale(LC_CTYPE, "C"), nullptr);
  EXPECT_EQ(Regla_de(terminal), REGLA_8BITS);
  if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
    setlocale(LC_CTYPE, antes.c_str());
    fclose(terminal);
    close(amo);
    GTEST_SKIP() << "no locale C.UTF-8";
  }
  EXPECT_EQ(Regla_de(terminal), REGLA_UTF8);
  setlocale(LC_CTYPE, antes.c_str());
  fclose(terminal);
  close(amo);
}
