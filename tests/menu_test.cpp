// The menu and the commands that need only the control connection, run
// in a terminal: everything shown from the first menu on must be exactly
// the expected text, and the server must get exactly the scripted lines.
#include <gtest/gtest.h>

#include "apoyo.h"

// Logs in (PWD answered with pwd), plays guion and dialogo, leaves with
// QUIT; the screen after the reply to PASS must be visto then the goodbye:
// nothing of the PWD reply shows.
static void Probar(const std::string &ip, const std::string &pwd, const Guion &guion, const Dialogo &dialogo, const std::string &visto)
{
  Guion g = Entrada();
  g.back() = "> " + pwd;
  Resultado r = Sesion(ip, g + guion + QUIT, Login() + dialogo);
  const std::string dentro = "230 Dentro\r\n";
  size_t i = r.pantalla.find(dentro);
  EXPECT_EQ(r.pantalla.substr(std::min(i + dentro.size(), r.pantalla.size())), visto + "221 Adios\r\n");
}

TEST(Menu, OpcionesYOrdenes)
{
  NECESITA_PUERTO_21();
  const std::string largo(40, 'f'), dir20(20, 'd');
  const Dialogo salir = Orden("0\n");
  struct { Guion guion; Dialogo dialogo; std::string visto; } casos[] = {
      {{}, salir, Menu() + "0\n"},
      {{}, Orden("\x04"), Menu() + "\n"},  // the end of the input ends the prompt's line
      {{}, Orden("7\n") + Orden("-1\n") + Orden("4294967296\n") + Orden("-4294967296\n") + Orden("99999999999\n") + salir,
       Menu() + "7\nERROR\n" + Menu() + "-1\nERROR\n" + Menu() + "4294967296\nERROR\n" + Menu() + "-4294967296\nERROR\n" +
           Menu() + "99999999999\nERROR\n" + Menu() + "0\n"},
      {{}, Orden("abc 5\n") + Orden("4x\n") + salir, Menu() + "abc 5\nERROR\n" + Menu() + "4x\nERROR\n" + Menu() + "0\n"},
      {{"< TYPE I", "> 200 Tipo I\r\n", "< TYPE A", "> 504 No\r\n"}, Orden("3\n") + Orden("3\n") + salir,
       Menu() + "3\n200 Tipo I\r\n" + Menu("/", 'I') + "3\n504 No\r\n" + Menu() + "0\n"},
      {{"< CWD docs", "> 250 Hecho\r\n", "< PWD", "> 257 \"/docs\"\r\n", "< CWD nada", "> 550 No existe\r\n",
        "< PWD", "> 257 \"/docs\"\r\n"},
       Dialogo{{"Opcion: ", "1\n"}, {"directorio: ", "docs\n"}, {"Opcion: ", "1\n"}, {"directorio: ", " nada\n"}} + salir,
       Menu() + "1\nIntroduce el nuevo directorio: docs\n250 Hecho\r\n" + Menu("/docs") +
           "1\nIntroduce el nuevo directorio:  nada\n550 No existe\r\n" + Menu("/docs") + "0\n"},
      {{"< HELP", "> 214-Ordenes:\r\n USER PASS\r\n214\r\n 214 Fin\r\n"}, Orden("6\n") + salir,
       Menu() + "6\n214-Ordenes:\r\n USER PASS\r\n214\r\n 214 Fin\r\n" + Menu() + "0\n"},
      // What a terminal would obey, shown as text in every line of a reply.
      {{"< HELP", "> 214-" + RARO + " " + RARO + "214 " + RARO}, Orden("6\n") + salir,
       Menu() + "6\n214-" + RARO_VISTO + " " + RARO_VISTO + "214 " + RARO_VISTO + Menu() + "0\n"},
      {{}, {{"Opcion: ", "4\n"}, {"fichero: ", "\x04"}}, Menu() + "4\nNombre del fichero: \n"},
      {{}, {{"Opcion: ", "5\n"}, {"fichero: ", "\x04"}}, Menu() + "5\nNombre del fichero: \n"},
      {{}, Orden("4\n", largo) + Orden("5\n", largo) + Orden("1\n") + Dialogo{{"directorio: ", dir20 + "\n"}} + salir,
       Menu() + "4\nNombre del fichero: " + largo + "\nERROR: el nombre pasa de 39 caracteres.\n" + Menu() +
           "5\nNombre del fichero: " + largo + "\nERROR: el nombre pasa de 39 caracteres.\n" + Menu() +
           "1\nIntroduce el nuevo directorio: " + dir20 + "\nERROR: el nombre pasa de 19 caracteres.\n" + Menu() + "0\n"},
  };
  for (auto &k : casos) Probar("127.0.1.7", "257 \"/\"\r\n", k.guion, k.dialogo, k.visto);
}

// What the PWD reply says and what the menu shows; the reply to the next
// command (HELP) must be its own, however the PWD reply ended.
TEST(Menu, DirectorioDeLaRespuestaAPwd)
{
  NECESITA_PUERTO_21();
  const std::string d39 = "/" + std::string(38, 'a'), d40 = "/" + std::string(39, 'b');
  // The closing quote as the last byte of the first 1023-byte piece, or just past it.
  auto limite = [](int n) { return "257 \"" + std::string(n, 'q') + "\"\r\n"; };
  struct { std::string pwd, dir, visto = ""; } casos[] = {
      {"257 \"/a b\" es el directorio\r\n", "/a b"},
      {"257 \"/x\"\"y\" con comillas\r\n", "/x"},
      {"257 \"\"\r\n", ""},
      {"257 sin comillas\r\n", "(desconocido)"},
      {"257 \"/solo-una\r\n", "(desconocido)"},
      {"257 \"" + d39 + "\"\r\n", d39},
      {"257 \"" + d40 + "\"\r\n", d40.substr(0, 36) + "..."},
      {"257-\"/m\" primera\r\n 257 \"/no\"\r\n", "/m"},
      {"257-\"/m\" primera\r\n segunda\r\n257 fin\r\n", "/m"},
      {"257 \"/larga\" " + std::string(1500, 'z') + "\r\n", "/larga"},
      {"257-\"/larga\" " + std::string(1500, 'z') + "\r\n257 fin\r\n", "/larga"},
      {limite(1017), std::string(36, 'q') + "..."},
      {limite(1018), "(desconocido)"},
      {limite(1019), "(desconocido)"},
      {"257 \"" + DIR_RARO + "\"\r\n", DIR_RARO, DIR_RARO_VISTO},  // shown as text, kept as sent
  };
  for (auto &k : casos) {
    std::string menu = Menu(k.visto.empty() ? k.dir : k.visto);
    Probar("127.0.1.9", k.pwd, {"< HELP", "> 214 Ayuda\r\n"}, {{"Opcion: ", "6\n"}, {"Opcion: ", "0\n"}},
           menu + "6\n214 Ayuda\r\n" + menu + "0\n");
  }
}
