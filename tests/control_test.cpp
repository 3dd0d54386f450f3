// quelt from its start to the menu, run in a terminal as a person would:
// arguments, failures to connect, the login loop, and the end of the
// control connection or of the input.
#include <cerrno>
#include <clocale>
#include <cstring>
#include <fstream>
#include <locale.h>
#include <gtest/gtest.h>

#include "apoyo.h"

// The C library's text for error e in Spanish, as quelt must show it
// under LC_ALL=es_ES.UTF-8.  A quelt on another C library (QUELT_PROGRAMA:
// musl carries no translations) shows that library's own: "" then.
static std::string Espanol(int e)
{
  if (getenv("QUELT_PROGRAMA")) return "";
  locale_t es = newlocale(LC_ALL_MASK, "es_ES.UTF-8", (locale_t)0);
  if (!es) return "(no es_ES.UTF-8 locale here: probar.sh makes it)";
  std::string texto = strerror_l(e, es);
  freelocale(es);
  return texto != strerror(e) ? texto : "(no Spanish texts of the C library here: libc-l10n)";
}

TEST(Entrada, UsoONingunaConexion)
{
  // One line, that starts with visto; the system's reason after it is the C library's own.
  struct { std::vector<std::string> argv; std::string visto; } casos[] = {
      {{QUELT}, "Uso: quelt nombre del host\n"},
      {{QUELT, "127.0.1.2", "otro"}, "Uso: quelt nombre del host\n"},
      {{QUELT, "nohay..invalid"}, "ERROR en gethostbyname: "},  // malformed: no resolver asks a server
      {{QUELT, "127.0.1.3"}, "ERROR en connect: "},  // nobody listens there
      {{"env", "LC_ALL=es_ES.UTF-8", QUELT, "127.0.1.3"}, "ERROR en connect: " + Espanol(ECONNREFUSED)},
  };
  for (auto &k : casos) {
    Terminal t(k.argv);
    EXPECT_EQ(t.fin(), 1);
    std::string visto = t.pantalla();
    EXPECT_TRUE(visto.rfind(k.visto, 0) == 0 && visto.find('\n') == visto.size() - 1) << visto;
  }
}

TEST(Entrada, SinFtpEnLaBaseDeServicios)
{
  NECESITA_PUERTO_21();
  std::string servicios = testing::TempDir() + "servicios";
  std::ofstream(servicios) << "ssh 22/tcp\n";
  if (system(("unshare -m mount --bind " + servicios + " /etc/services 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no private mount namespace here";
  Servidor s("127.0.1.4", {}, 300);
  Terminal t({"unshare", "-m", "sh", "-c", "mount --bind " + servicios + " /etc/services && exec " + QUELT + " 127.0.1.4"});
  EXPECT_EQ(t.fin(), 1);
  EXPECT_EQ(t.pantalla().rfind("ERROR en getservbyname: ", 0), 0u) << t.pantalla();
  EXPECT_EQ(s.fin(), "time limit at step 'accept'");  // no connection was tried
}

// A login attempt: what is typed at "Nombre: " (one or more lines), the
// name sent, the replies to USER and PASS, and how many times the name is asked.
struct Intento { std::string tecleado, usuario, a_user, a_pass; int nombres = 1; };

TEST(Entrada, BucleDeLogin)
{
  NECESITA_PUERTO_21();
  const std::string C = "331 Clave\r\n", D = "230 Dentro\r\n";
  const Intento ana{"ana\n", "ana", C, D}, no{"ana\n", "ana", C, "530 No\r\n"};
  std::vector<std::vector<Intento>> casos = {
      {no, no, no, ana},
      {{"ana\n", "ana", C, "500 No\r\n"}, ana},
      {{"ana\n", "ana", C, "421 Cierro\r\n"}},
      {{"ana\n", "ana", C, "499 Raro\r\n"}},
      {{"ana\n", "ana", "230 Ya estas\r\n", D}},
      {{"ana\n", "ana", "331-Clave\r\n Sigue\r\n331 Clave\r\n", "230-Dentro\r\n230 Bienvenida\r\n"}},
      {{"   ana   \n", "ana", C, D}},
      {{"abcdefghijklmnopqrst\n abcdefghijklmnopqrs\n", "abcdefghijklmnopqrs", C, D, 2}},
  };
  for (auto &intentos : casos) {
    Guion g = {"> 220 Hola\r\n"};
    Dialogo d;
    for (auto &i : intentos) {
      g = g + Guion{"< USER " + i.usuario, "> " + i.a_user, "< PASS s3creta", "> " + i.a_pass};
      d.push_back({"Nombre: ", i.tecleado});
      for (int n = 1; n < i.nombres; n++) d.push_back({"Nombre: ", ""});
      d.push_back({"Clave: ", "s3creta\n"});
      d.push_back({i.a_pass, ""});
    }
    g = g + Guion{"< PWD", "> 257 \"/\"\r\n"} + QUIT;
    d.push_back({"Opcion: ", "0\n"});
    std::string visto = Sesion("127.0.1.5", g, d).pantalla;
    EXPECT_EQ(visto.find("s3creta"), std::string::npos) << visto;
  }
}

// The input or the control connection ends before the menu can be used.
TEST(Entrada, FinDeEntradaOConexionCerrada)
{
  NECESITA_PUERTO_21();
  const std::string cerrada = "el servidor ha cerrado la conexion de control\n";
  const Guion hola = {"> 220 Hola\r\n"}, user = hola + Guion{"< USER ana", "> 331 Clave\r\n"},
              pass = user + Guion{"< PASS s3creta"};
  struct { Guion guion; Dialogo dialogo; std::string texto, no; } casos[] = {
      {hola + QUIT, {{"Nombre: ", "\x04"}}, "221 Adios", "Clave"},
      {pass + Guion{"> 530 No\r\n"} + QUIT, Login() + Dialogo{{"Nombre: ", "\x04"}}, "221 Adios", "MENU"},
      {{"close"}, {}, cerrada, "Nombre"},
      // Seen while quelt waits for a name, without a key.
      {hola + Guion{"close"}, {{"Nombre: ", ""}}, "Nombre: \nERROR en controlL: " + cerrada, "Clave"},
      {user + Guion{"close"}, Login(), cerrada, "MENU"},
      {pass + Guion{"> 230-Dentro\r\n", "close"}, Login(), cerrada, "MENU"},
      {Entrada() + Guion{"close"}, Login() + Orden("3\n"), cerrada, "Actual: I"},
  };
  for (auto &k : casos) {
    Resultado r = Sesion("127.0.1.6", k.guion, k.dialogo, 1);
    EXPECT_NE(r.pantalla.find(k.texto), std::string::npos) << r.pantalla;
    EXPECT_EQ(r.pantalla.find(k.no), std::string::npos) << r.pantalla;
  }
}

// Without a controlling terminal (a script, cron, ssh without -t) the
// password is the next whole input line, here piped in: it goes out only
// as PASS, and the rest of the name's line is never taken for it.
TEST(Entrada, SinTerminal)
{
  NECESITA_PUERTO_21();
  const Guion entrada = Entrada(), tras_hola(entrada.begin() + 1, entrada.end());
  struct { std::string entrada; Guion guion; int estado; } casos[] = {
      {"ana\ns3creta\n6\n0\n", Entrada() + AYUDA + QUIT, 0},
      {"ana otra\nmala\r\n ana\ns3creta\n0\n",
       Guion{"> 220 Hola\r\n", "< USER ana", "> 331 Clave\r\n", "< PASS mala", "> 530 No\r\n"} + tras_hola + QUIT, 0},
      {"ana\n", {"> 220 Hola\r\n", "< USER ana", "> 331 Clave\r\n", "< QUIT", "> 221 Adios\r\n"}, 1},
      {"ana\n\n0\n", Entrada("ana", "") + QUIT, 0},  // an empty line is an empty password
  };
  for (auto &k : casos) {
    SCOPED_TRACE(Visible(k.entrada));
    Servidor s("127.0.1.10", k.guion);
    Terminal t({"sh", "-c", "printf %s \"$1\" | exec setsid -w \"$0\" 127.0.1.10", QUELT, k.entrada});
    EXPECT_EQ(t.fin(), k.estado) << t.pantalla();
    EXPECT_EQ(s.fin(), "");
    EXPECT_EQ(t.pantalla().find("s3creta"), std::string::npos) << t.pantalla();
  }
}
