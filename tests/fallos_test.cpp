// Every fault a server or a user can cause, end to end: quelt runs in a
// terminal against a scripted server on 127.0.5.N, and each row says how
// it must end (exit status, a message on the screen) or go on.  A row that
// goes on ends with HELP, whose reply must be its own, then 0.  The
// server's script checks every command line quelt sends.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <gtest/gtest.h>
#include <unistd.h>

#include "apoyo.h"

using namespace std::string_literals;

// Server side (Guion) and user side (pairs: text to wait for, then keys).
static const std::string CERRADA = "ERROR en controlL: el servidor ha cerrado la conexion de control";
static const Guion HOLA = {"> 220 Hola\r\n"}, LOGIN = Entrada("ana", "x", "/"), AYUDA_S = AYUDA + QUIT;
static const Dialogo TECLEO = Login("ana", "x"),
                     AYUDA_U = {{"Opcion: ", "6\n"}, {"214 ayuda\r\n", ""}, {"Opcion: ", "0\n"}};
static const std::string MEGA(1 << 20, 'a'), LARGO(100, 'n');
static std::string Lineas(int n)
{
  std::string s = "214-muchas\r\n";
  for (int i = 0; i < n; i++) s += " linea\r\n";
  return s + "214 fin\r\n";
}

struct Caso {
  const char *nombre; Guion servidor; Dialogo usuario; int estado; std::string mensaje;
  std::vector<std::string> delante = {};  // what runs quelt
};
// No descriptor left for the data connection: 0-2, the control socket, its
// reading copy and the listening socket take all six.
static const std::vector<std::string> SEIS = {"prlimit", "--nofile=6", "--"};
static const std::string LLENO(66 << 10, 'l');  // more than the local file's buffer
// Names that read one way in UTF-8 and another in an 8-bit set: C3 9B,
// C3 9D and C3 85 are letters in UTF-8 but a letter and a C1 control
// elsewhere; 9B alone is a C1 control and F1 alone a Latin-1 letter in both.
static const std::string NOMBRES = "a\xc3\x9b b\xc3\x9d c\xc3\x85 d\x9b e\xf1o\r\n";
static const Guion LISTA_NOMBRES = LOGIN + PORT + Guion{"< LIST", "> 150 va\r\n", "dconnect", "dsend " + NOMBRES, "dclose", "> 226 fin\r\n"} + AYUDA_S;
static const std::vector<std::string> LOCALE_C = {"env", "LC_ALL=C"};
// Standard output and standard error into one pipe, not a terminal.
static const std::vector<std::string> TUBERIA = {"bash", "-c", "set -o pipefail; \"$0\" \"$1\" 2>&1 | cat"};

static const Caso casos[] = {
    // The server closes the control connection.
    {"tras el saludo", HOLA + Guion{"close"}, {{"Nombre: ", "ana\n"}}, 1, CERRADA},
    {"tras USER", HOLA + Guion{"< USER ana", "close"}, {{"Nombre: ", "ana\n"}}, 1, CERRADA},
    {"tras PASS", HOLA + Guion{"< USER ana", "> 331 c\r\n", "< PASS x", "close"}, TECLEO, 1, CERRADA},
    {"tras el menu", LOGIN + Guion{"close"}, TECLEO + Orden("6\n"), 1, CERRADA},
    {"LIST sin 150", LOGIN + PORT + Guion{"< LIST", "close"}, TECLEO + Orden("2\n"), 1, "2\n200 ok\r\n" + CERRADA + "\n"},
    {"LIST tras 150", LOGIN + PORT + Guion{"< LIST", "> 150 va\r\n", "close"}, TECLEO + Orden("2\n"), 1, CERRADA},
    {"LIST con datos", LOGIN + PORT + Guion{"< LIST", "> 150 va\r\n", "dconnect", "dsend uno\r\n", "close", "dsend dos\r\n", "dclose"},
     TECLEO + Orden("2\n"), 1, "uno\r\ndos\r\n" + CERRADA},
    {"RETR sin 150", LOGIN + PORT + Guion{"< RETR f", "close"}, TECLEO + Orden("4\n", "f"), 1, CERRADA},
    {"RETR tras 150", LOGIN + PORT + Guion{"< RETR f", "> 150 va\r\n", "close"}, TECLEO + Orden("4\n", "f"), 1, CERRADA},
    {"RETR con datos", LOGIN + PORT + Guion{"< RETR f", "> 150 va\r\n", "dconnect", "dsend abc", "close", "dsend def", "dclose"},
     TECLEO + Orden("4\n", "f"), 1, CERRADA},
    {"STOR sin 150", LOGIN + PORT + Guion{"< STOR s", "close"}, TECLEO + Orden("5\n", "s"), 1, CERRADA},
    {"STOR tras 150", LOGIN + PORT + Guion{"< STOR s", "> 150 va\r\n", "close"}, TECLEO + Orden("5\n", "s"), 1, CERRADA},
    {"STOR con datos", LOGIN + PORT + Guion{"< STOR s", "> 150 va\r\n", "dconnect", "close", "drecv"},
     TECLEO + Orden("5\n", "s"), 1, CERRADA},
    // The server speaks or closes while quelt waits for a key: shown at once.
    {"421 en espera", LOGIN + Guion{"pause 200", "> 421 Timeout.\r\n", "pause 200", "close"}, TECLEO + Dialogo{{"Opcion: ", ""}, {"Opcion: ", ""}},
     1, "Opcion: \n421 Timeout.\r\nOpcion: \n" + CERRADA},
    {"cierre tras 530", HOLA + Guion{"< USER ana", "> 331 c\r\n", "< PASS x", "> 530 no\r\n", "close"},
     TECLEO + Dialogo{{"Nombre: ", ""}}, 1, "530 no\r\nNombre: \n" + CERRADA},
    {"150, 421 y cierre", LOGIN + PORT + Guion{"< LIST", "> 150 va\r\n421 adios\r\n", "close"},
     TECLEO + Orden("2\n") + Dialogo{{"Opcion: ", ""}}, 1, "150 va\r\n421 adios\r\n" + Menu() + "\n" + CERRADA},
    {"tras PWD", HOLA + Guion{"< USER ana", "> 331 c\r\n", "< PASS x", "> 230 si\r\n", "< PWD", "close"}, TECLEO, 1, "230 si\r\n" + CERRADA},
    {"QUIT sin 221", LOGIN + Guion{"< QUIT", "close"}, TECLEO + Orden("0\n"), 1, CERRADA},
    {"respuesta no pedida", LOGIN + Guion{"< HELP", "> 214 primera\r\n200 otra\r\n"} + AYUDA_S,
     TECLEO + Orden("6\n") + Dialogo{{"Opcion: ", ""}, {"200 otra\r\n", ""}} + AYUDA_U, 0,
     "6\n214 primera\r\n" + Menu() + "\n200 otra\r\nOpcion: 6\n214 ayuda\r\n"},
    {"respuestas adelantadas", LOGIN + Guion{"< TYPE I", "> 200 I\r\n", "< HELP", "> 214 ayuda\r\n"} + QUIT,
     TECLEO + Orden("3 6 0\n") + Dialogo{{"Opcion: ", ""}, {"Opcion: ", ""}}, 0,
     "3 6 0\n200 I\r\n" + Menu("/", 'I') + "214 ayuda\r\n" + Menu("/", 'I') + "221 Adios\r\n"},
    // The server resets the data connection; the control connection lives on.
    {"RST en RETR", LOGIN + PORT + Guion{"< RETR f", "> 150 va\r\n", "dconnect", "dsend " + MEGA, "dreset", "> 426 cortada\r\n"} + AYUDA_S,
     TECLEO + Orden("4\n", "f") + Dialogo{{"426 cortada\r\n", ""}} + AYUDA_U, 0, "ERROR en datosL"},
    // The server's connection waits, refused when quelt closes its listening socket.
    {"accept sin descriptores", LOGIN + PORT + Guion{"< RETR f", "> 150 va\r\n", "dconnect", "> 426 cortada\r\n"} + AYUDA_S,
     TECLEO + Orden("4\n", "f") + Dialogo{{"ERROR en accept para get: ", ""}} + AYUDA_U, 0, "426 cortada\r\n\nMENU", SEIS},
    // The local file cannot be written: mid-copy, or only when it is closed.
    {"RETR a /dev/full", LOGIN + PORT + Guion{"< RETR lleno", "> 150 va\r\n", "dconnect", "dsend " + LLENO, "dclose", "> 226 fin\r\n"} + AYUDA_S,
     TECLEO + Orden("4\n", "lleno") + AYUDA_U, 0, "ERROR en lleno: "},
    {"RETR corto a /dev/full", LOGIN + PORT + Guion{"< RETR lleno", "> 150 va\r\n", "dconnect", "dsend abc", "dclose", "> 226 fin\r\n"} + AYUDA_S,
     TECLEO + Orden("4\n", "lleno") + AYUDA_U, 0, "ERROR en lleno: "},
    {"RST en RETR, 2>&1", LOGIN + PORT + Guion{"< RETR f", "> 150 va\r\n", "dconnect", "dsend " + MEGA, "dreset", "> 426 cortada\r\n"} + AYUDA_S,
     TECLEO + Orden("4\n", "f") + Dialogo{{"426 cortada\r\n", ""}} + AYUDA_U, 0, "150 va\r\nERROR en datosL: ", TUBERIA},
    {"RST en STOR", LOGIN + PORT + Guion{"< STOR g", "> 150 va\r\n", "dconnect", "pause 300", "dreset", "> 426 cortada\r\n"} + AYUDA_S,
     TECLEO + Orden("5\n", "g") + Dialogo{{"426 cortada\r\n", ""}} + AYUDA_U, 0, "ERROR en datosE"},
    // Hostile replies.
    {"linea de 1 MB", LOGIN + Guion{"< HELP", "> 214 " + MEGA + "\r\n"} + AYUDA_S, TECLEO + Orden("6\n") + AYUDA_U, 0, "6\n214 " + MEGA + "\r\n\nMENU"},
    {"100000 lineas", LOGIN + Guion{"< HELP", "> " + Lineas(100000)} + AYUDA_S, TECLEO + Orden("6\n") + AYUDA_U, 0, " linea\r\n214 fin"},
    {"NUL y control", LOGIN + Guion{"< HELP", "> 214-a\0b\x01\x1b\x7f\r\n214 fin\0z\r\n"s} + AYUDA_S,
     TECLEO + Orden("6\n") + AYUDA_U, 0, "214-a\\x00b\\x01\\x1b\\x7f\r\n214 fin\\x00z\r\n"},
    // Into a pipe every byte goes as it came: a reply, a listing, the directory.
    {"HELP sin terminal", LOGIN + Guion{"< HELP", "> 214-" + RARO + " " + RARO + "214 fin\r\n"} + AYUDA_S,
     TECLEO + Orden("6\n") + AYUDA_U, 0, "6\n214-" + RARO + " " + RARO + "214 fin\r\n\nMENU", TUBERIA},
    {"LIST sin terminal", LOGIN + PORT + Guion{"< LIST", "> 150 va\r\n", "dconnect", "dsend " + RARO + "fin\r", "dclose", "> 226 fin\r\n"} + AYUDA_S,
     TECLEO + Orden("2\n") + AYUDA_U, 0, "150 va\r\n" + RARO + "fin\r226 fin\r\n", TUBERIA},
    {"PWD sin terminal", Entrada("ana", "x", DIR_RARO) + AYUDA_S, TECLEO + AYUDA_U, 0, "Directorio actual: " + DIR_RARO + "\n", TUBERIA},
    // On a terminal, by the locale's character set.
    {"LIST en UTF-8", LISTA_NOMBRES, TECLEO + Orden("2\n") + AYUDA_U, 0,
     "150 va\r\na\xc3\x9b b\xc3\x9d c\xc3\x85 d\\x9b e\xf1o\r\n226 fin\r\n"},
    {"LIST en C", LISTA_NOMBRES, TECLEO + Orden("2\n") + AYUDA_U, 0,
     "150 va\r\na\xc3\\x9b b\xc3\\x9d c\xc3\\x85 d\\x9b e\xf1o\r\n226 fin\r\n", LOCALE_C},
    {"codigo +21", LOGIN + Guion{"< HELP", "> +21 x\r\n"} + AYUDA_S, TECLEO + Orden("6\n") + AYUDA_U, 0, "+21 x"},
    {"codigo -1", LOGIN + Guion{"< HELP", "> -1 x\r\n"} + AYUDA_S, TECLEO + Orden("6\n") + AYUDA_U, 0, "-1 x"},
    {"codigo 2140", LOGIN + Guion{"< HELP", "> 2140 x\r\n214 fin\r\n"} + AYUDA_S, TECLEO + Orden("6\n") + AYUDA_U, 0, "214 fin"},
    {"RETR 1500", LOGIN + PORT + Guion{"< RETR f", "> 1500 x\r\n550 no\r\n"} + AYUDA_S, TECLEO + Orden("4\n", "f") + AYUDA_U, 0, "550 no"},
    {"LIST +15", LOGIN + PORT + Guion{"< LIST", "> +15 x\r\n"} + AYUDA_S, TECLEO + Orden("2\n") + AYUDA_U, 0, "+15 x"},
    {"saludo sin fin", {"> 220 Hola", "close"}, {}, 1, "220 Hola" + CERRADA},
    {"codigo a trozos", LOGIN + Guion{"< HELP", "> 21", "pause 100", "> 4 x\r\n"} + AYUDA_S, TECLEO + Orden("6\n") + AYUDA_U, 0, "6\n214 x\r\n\nMENU"},
    {"HELP sin fin", LOGIN + Guion{"< HELP", "> 214 sin fin\r", "close"}, TECLEO + Orden("6\n"), 1, "214 sin fin\\x0d" + CERRADA},
    // Hostile input at every prompt.
    {"Nombre: fin", HOLA + QUIT, {{"Nombre: ", "\x04"}}, 1, "se ha terminado antes del login"},
    {"Nombre: fin, 2>&1", HOLA + QUIT, {{"Nombre: ", "\x04"}}, 1, "Nombre: \nERROR en la entrada: ", TUBERIA},
    {"Nombre: largo", LOGIN + AYUDA_S, Dialogo{{"Nombre: ", LARGO + "\n"}} + TECLEO + AYUDA_U, 0, "ERROR: el nombre pasa de 19 caracteres."},
    {"Nombre: vacio", LOGIN + AYUDA_S, Dialogo{{"Nombre: ", "\n"}, {"", " \n ana\n"}, {"Clave: ", "x\n"}} + AYUDA_U, 0,
     "Nombre: \n \n ana\n331 Clave\r\n"},  // blank lines skipped: no second prompt, no error
    // getpass gives "" both at the end of the input and for an empty line.
    {"Clave: fin, vacia", HOLA + Guion{"< USER ana", "> 331 c\r\n", "< PASS ", "> 530 no\r\n", "< USER ana", "> 331 c\r\n", "< PASS ", "> 530 no\r\n"} + QUIT,
     {{"Nombre: ", "ana\n"}, {"Clave: ", "\x04"}, {"Nombre: ", "ana\n"}, {"Clave: ", "\n"}, {"Nombre: ", "\x04"}}, 1, "se ha terminado antes del login"},
    // As long as the terminal password routine of every libc takes whole.
    {"Clave: larga", HOLA + Guion{"< USER ana", "> 331 c\r\n", "< PASS " + std::string(127, 'p'), "> 230 si\r\n", "< PWD", "> 257 \"/\"\r\n"} + AYUDA_S,
     Login("ana", std::string(127, 'p')) + AYUDA_U, 0, "Clave: \n230 si\r\n" + Menu() + "6\n214 ayuda\r\n"},
    {"Opcion: fin", LOGIN + QUIT, TECLEO + Orden("\x04"), 0, Menu() + "\n221 Adios\r\n"},
    {"Opcion: no numero", LOGIN + AYUDA_S,
     TECLEO + Orden("abc\n") + Orden("7\n") + Orden("-1\n") + Orden("6x\n") + Orden("99999999999999999999\n") + AYUDA_U, 0, "ERROR\n"},
    // Ctrl-D after a word sends it without a line end, then ends the input.
    {"Opcion: abc, fin", LOGIN + QUIT, TECLEO + Orden("abc\x04\x04") + Dialogo{{"Opcion: ", ""}}, 0,
     "Opcion: abc\nERROR\n" + Menu()},
    {"Opcion: vacia", LOGIN + AYUDA_S, TECLEO + Orden("\n") + Dialogo{{"", "6\n"}, {"214 ayuda\r\n", ""}, {"Opcion: ", "0\n"}}, 0,
     Menu() + "\n6\n214 ayuda\r\n"},
    {"directorio: fin", LOGIN + QUIT, TECLEO + Orden("1\n") + Dialogo{{"directorio: ", "\x04"}}, 0,
     "Introduce el nuevo directorio: \n221 Adios\r\n"},
    {"directorio: largo", LOGIN + AYUDA_S, TECLEO + Orden("1\n") + Dialogo{{"directorio: ", LARGO + "\n"}} + AYUDA_U, 0,
     "ERROR: el nombre pasa de 19 caracteres."},
    {"directorio: vacio", LOGIN + Guion{"< CWD sub", "> 250 ok\r\n", "< PWD", "> 257 \"/sub\"\r\n"} + AYUDA_S,
     TECLEO + Orden("1\n") + Dialogo{{"directorio: ", "\n"}, {"", "sub\n"}} + AYUDA_U, 0, "Directorio actual: /sub"},
    {"fichero: fin", LOGIN + QUIT, TECLEO + Orden("4\n") + Dialogo{{"fichero: ", "\x04"}}, 0, "Nombre del fichero: \n221 Adios\r\n"},
    {"fichero: largo", LOGIN + AYUDA_S, TECLEO + Orden("4\n", LARGO) + Orden("5\n", LARGO) + AYUDA_U, 0,
     "ERROR: el nombre pasa de 39 caracteres.\n\nMENU"},
    {"fichero: vacio", LOGIN + PORT + Guion{"< RETR f", "> 550 no\r\n"} + AYUDA_S,
     TECLEO + Orden("4\n") + Dialogo{{"fichero: ", "\n"}, {"", "f\n"}} + AYUDA_U, 0, "550 no"},
};

// The local files: s small, g too big to upload before the server resets
// the connection.
static std::string Ficheros()
{
  static std::string dir;
  if (dir.empty()) {
    dir = Carpeta();
    std::ofstream(dir + "/s") << "subida\n";
    std::ofstream(dir + "/g") << std::string(32 << 20, 'g');
    std::filesystem::create_symlink("/dev/full", dir + "/lleno");
  }
  return dir;
}

TEST(Fallos, CadaCasoTerminaOSigueComoDebe)
{
  NECESITA_PUERTO_21();
  int n = 0;
  for (const Caso &k : casos) {
    SCOPED_TRACE(k.nombre);
    Resultado r = Sesion("127.0.5." + std::to_string(++n), k.servidor, k.usuario, k.estado, Ficheros(), 10000, k.delante);
    EXPECT_NE(r.pantalla.find(k.mensaje), std::string::npos) << Visible(r.pantalla);
  }
}

// The parent of process pid, and its name in parentheses.
static long Padre(long pid, std::string *nombre = nullptr)
{
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string comm, estado;
  long yo, padre = 0;
  f >> yo >> comm >> estado >> padre;
  if (nombre) *nombre = comm;
  return padre;
}

// The open descriptors ("0 1 2 3") of the quelt that a terminal of ours
// started, directly or through the commands before it (setsid, strace).
static std::string Descriptores()
{
  std::error_code e;
  for (auto &d : std::filesystem::directory_iterator("/proc", e)) {
    std::string comm, lista;
    long pid = atol(d.path().filename().c_str()), p = Padre(pid, &comm);
    for (int i = 0; comm == "(quelt)" && p > 1 && i < 3; i++, p = Padre(p)) {
      if (p != getpid()) continue;
      std::vector<int> fds;
      for (auto &fd : std::filesystem::directory_iterator(d.path() / "fd", e)) fds.push_back(atoi(fd.path().filename().c_str()));
      std::sort(fds.begin(), fds.end());
      for (int fd : fds) lista += (lista.empty() ? "" : " ") + std::to_string(fd);
      return lista;
    }
  }
  return "";
}

TEST(Fallos, NoSePierdenDescriptores)
{
  NECESITA_PUERTO_21();
  // Refused RETR, STOR and LIST, a missing local file, a download and an upload.
  Guion servidor = LOGIN;
  Dialogo usuario;
  for (int i = 0; i < 40; i++) {
    servidor = servidor + PORT + Guion{"< RETR f", "> 550 no\r\n"} + PORT + Guion{"< STOR s", "> 553 no\r\n"} +
               PORT + Guion{"< LIST", "> 425 no\r\n"} + PORT +
               PORT + Guion{"< RETR f", "> 150 va\r\n", "dconnect", "dsend hola", "dclose", "> 226 ok\r\n"} +
               PORT + Guion{"< STOR s", "> 150 va\r\n", "dconnect", "drecv", "> 226 ok\r\n"};
    usuario = usuario + Orden("4\n", "f") + Orden("5\n", "s") + Orden("2\n") + Orden("5\n", "falta") +
              Orden("4\n", "f") + Orden("5\n", "s");
  }
  usuario[0].first = "";  // the first prompt is waited for with the login
  Servidor s("127.0.5.200", servidor + QUIT, 60000);
  Terminal t({QUELT, "127.0.5.200"}, Ficheros());
  ASSERT_TRUE(Teclear(t, TECLEO + Dialogo{{"Opcion: ", ""}}, 10000));
  std::string tras_login = Descriptores();
  ASSERT_NE(tras_login, "");
  ASSERT_TRUE(Teclear(t, usuario + Dialogo{{"Opcion: ", ""}}, 10000));
  EXPECT_EQ(Descriptores(), tras_login);
  t.escribe("0\n");
  EXPECT_EQ(t.fin(10000), 0);
  EXPECT_EQ(s.fin(), "");
  EXPECT_EQ(s.datos.size(), 40u);
}

// Every system call that can fail, failed once by strace (-e inject) in a
// whole session: each row names the call, its errno, and how to find the
// one call meant among all of its kind.  quelt runs without a controlling
// terminal, so that the password is a line of its input and the whole
// session is typed before it starts: every prompt finds its keys already
// there, and a session makes the same calls every time.  The count comes
// from the same session with nothing failing, traced.
struct Fallo {
  const char *nombre, *llamada;  // the call as strace names it
  int error;
  const char *marca, *cual;  // the first call whose line holds cual, after the first traced line that holds marca
  std::string teclas;        // the operation, typed between the login and HELP
  Guion ensayo;              // the server's part of it when nothing fails
  std::optional<Guion> servidor;  // the whole script when the call fails; none: nothing connects
  int estado;
  std::string mensaje;
  const char *traza = "";  // other calls traced, for the marca: the prompts, the commands sent
  const char *ruta = "";   // a local file: only its calls are traced and counted (-P)
  const char *falta = "";  // why the call may not happen at all, with some C library
};
// The system's text for e and its line end: the C library of the tests'
// own, or OTRA, any text, when quelt has another.
static const std::string OTRA = "\x01";
static std::string Razon(int e) { return getenv("QUELT_PROGRAMA") ? OTRA : strerror(e) + "\n"s; }
// Whether mensaje shows on pantalla, OTRA in it standing for a line's text.
static bool Muestra(const std::string &pantalla, const std::string &mensaje)
{
  size_t otra = mensaje.find(OTRA);
  if (otra == std::string::npos) return pantalla.find(mensaje) != std::string::npos;
  std::string antes = mensaje.substr(0, otra), despues = mensaje.substr(otra + OTRA.size());
  for (size_t i = pantalla.find(antes); i != std::string::npos; i = pantalla.find(antes, i + 1)) {
    size_t fin = pantalla.find('\n', i + antes.size());
    if (fin != std::string::npos && fin > i + antes.size() && pantalla.compare(fin + 1, despues.size(), despues) == 0)
      return true;
  }
  return false;
}
static const Guion LISTA = PORT + Guion{"< LIST", "> 150 va\r\n", "dconnect", "dsend uno\r\n", "dclose", "> 226 fin\r\n"},
                   BAJADA = PORT + Guion{"< RETR bajada", "> 150 va\r\n", "dconnect", "dsend " + LLENO, "dclose", "> 226 fin\r\n"},
                   SUBIDA = PORT + Guion{"< STOR s", "> 150 va\r\n", "dconnect", "drecv", "> 226 fin\r\n"},
                   CORTADA = {"> 150 va\r\n", "dconnect", "> 426 cortada\r\n"};
static const char *const FDOPEN = "this C library's fdopen makes no fcntl";
static const Fallo fallos[] = {
    // Before the login: the process ends.
    {"socket de control", "socket", EMFILE, "", "AF_INET", "", {}, std::nullopt, 1, "ERROR en socket: " + Razon(EMFILE)},
    {"connect", "connect", ENETUNREACH, "", "AF_INET", "", {}, std::nullopt, 1, "ERROR en connect: " + Razon(ENETUNREACH)},
    {"getsockname de control", "getsockname", ENOBUFS, "", "", "", {}, Guion{}, 1, "ERROR en getsockname: " + Razon(ENOBUFS)},
    {"fdopen de controlE", "fcntl", EBADF, "", "F_GETFL", "", {}, Guion{}, 1, "ERROR en fdopen: " + Razon(EBADF), "", "", FDOPEN},
    {"dup", "dup", EMFILE, "", "", "", {}, Guion{}, 1, "ERROR en dup: " + Razon(EMFILE)},
    {"fdopen de controlL", "fcntl", EBADF, "F_GETFL", "F_GETFL", "", {}, Guion{}, 1, "ERROR en fdopen: " + Razon(EBADF), "", "", FDOPEN},
    // The data connection's socket: no PORT is sent.
    {"socket de datos", "socket", EMFILE, "AF_INET", "AF_INET", "2\n", LISTA, LOGIN + AYUDA_S, 0, "ERROR en data_sockfd: " + Razon(EMFILE)},
    {"bind", "bind", EADDRINUSE, "", "", "2\n", LISTA, LOGIN + AYUDA_S, 0, "ERROR en bind: " + Razon(EADDRINUSE)},
    {"getsockname de datos", "getsockname", ENOBUFS, "getsockname", "", "2\n", LISTA, LOGIN + AYUDA_S, 0,
     "ERROR en getsockname para data_sockfd: " + Razon(ENOBUFS)},
    {"listen", "listen", EADDRINUSE, "", "", "2\n", LISTA, LOGIN + AYUDA_S, 0, "ERROR en listen: " + Razon(EADDRINUSE)},
    {"fcntl de data_sockfd", "fcntl", EINVAL, "", "O_NONBLOCK", "2\n", LISTA, LOGIN + AYUDA_S, 0,
     "ERROR en fcntl para data_sockfd: " + Razon(EINVAL)},
    // The server's connection: the transfer's closing reply is read all the same.
    {"accept en LIST", "accept", EMFILE, "", "", "2\n", LISTA, LOGIN + PORT + Guion{"< LIST"} + CORTADA + AYUDA_S, 0,
     "150 va\r\nERROR en accept: " + Razon(EMFILE) + "426 cortada\r\n"},
    {"accept en RETR", "accept", ENFILE, "", "", "4\nbajada\n", BAJADA, LOGIN + PORT + Guion{"< RETR bajada"} + CORTADA + AYUDA_S, 0,
     "150 va\r\nERROR en accept para get: " + Razon(ENFILE) + "426 cortada\r\n"},
    {"accept en STOR", "accept", ENOMEM, "", "", "5\ns\n", SUBIDA, LOGIN + PORT + Guion{"< STOR s"} + CORTADA + AYUDA_S, 0,
     "150 va\r\nERROR en accept para put: " + Razon(ENOMEM) + "426 cortada\r\n"},
    {"fcntl de accept_fd", "fcntl", EINVAL, "O_NONBLOCK", "F_GETFL", "4\nbajada\n", BAJADA,
     LOGIN + PORT + Guion{"< RETR bajada"} + CORTADA + AYUDA_S, 0, "150 va\r\nERROR en fcntl: " + Razon(EINVAL) + "426 cortada\r\n"},
    {"fdopen de datosE", "fcntl", EINVAL, "F_SETFL, O_RDWR)", "F_GETFL", "5\ns\n", SUBIDA,
     LOGIN + PORT + Guion{"< STOR s"} + CORTADA + AYUDA_S, 0, "150 va\r\nERROR en la apertura de fichero datosE\n426 cortada\r\n",
     "", "", FDOPEN},
    // Waiting at a prompt, and for the data connection: EINTR only waits again.
    {"poll en Opcion", "poll", ENOMEM, "\"Opcion: \"", "", "", {}, LOGIN + AYUDA_S, 0, "Opcion: ERROR en poll: " + Razon(ENOMEM), "write"},
    {"poll en Opcion, EINTR", "poll", EINTR, "\"Opcion: \"", "", "", {}, LOGIN + AYUDA_S, 0, "\n\nOpcion: 214 ayuda\r\n" + Menu(), "write"},
    // quelt stops listening at once: the server cannot connect.
    {"poll en LIST", "poll", ENOMEM, "\"LIST\\r\\n\"", "", "2\n", LISTA,
     LOGIN + PORT + Guion{"< LIST", "> 150 va\r\n", "> 425 sin conexion\r\n"} + AYUDA_S, 0,
     "150 va\r\nERROR en poll: " + Razon(ENOMEM) + "425 sin conexion\r\n", "write"},
    {"poll en LIST, EINTR", "poll", EINTR, "\"LIST\\r\\n\"", "", "2\n", LISTA, LOGIN + LISTA + AYUDA_S, 0,
     "200 ok\r\n150 va\r\nuno\r\n226 fin\r\n\nMENU", "write"},
    // The local file: the download's first write (its buffer full) and its close, the upload's read.
    {"write de bajada", "write", ENOSPC, "", "", "4\nbajada\n", BAJADA, LOGIN + BAJADA + AYUDA_S, 0,
     "150 va\r\nERROR en bajada: " + Razon(ENOSPC) + "226 fin\r\n", "", "bajada"},
    {"close de bajada", "close", EIO, "", "", "4\nbajada\n", BAJADA, LOGIN + BAJADA + AYUDA_S, 0,
     "150 va\r\nERROR en bajada: " + Razon(EIO) + "226 fin\r\n", "", "bajada"},
    {"read de s", "read", EIO, "", "", "5\ns\n", SUBIDA, LOGIN + SUBIDA + AYUDA_S, 0, "150 va\r\nERROR en s: " + Razon(EIO) + "226 fin\r\n",
     "", "s"},
    // The listing's data connection, read after the 150 (which may bring the 226 along).
    {"read de datosL", "read", ECONNRESET, "150 va", "", "2\n", LISTA, LOGIN + LISTA + AYUDA_S, 0,
     "150 va\r\nERROR en datosL: " + Razon(ECONNRESET) + "226 fin\r\n", "write"},
    // The control connection: nothing more can be asked.
    // The server stays, so that it is the write that fails, not a close that quelt sees before it.
    {"write de controlE", "write", EPIPE, "", "\"HELP\\r\\n\"", "", {}, LOGIN + Guion{"pause 1000"}, 1,
     "Opcion: ERROR en controlE: " + Razon(EPIPE)},
    {"read de controlL", "read", ECONNRESET, "\"HELP\\r\\n\"", "", "", {}, LOGIN + Guion{"< HELP"}, 1,
     "Opcion: ERROR en controlL: " + Razon(ECONNRESET), "write"},
};

// Why no call can be made to fail here, or "".
static std::string Sin_strace()
{
  static std::string por = [] {
    if (const char *e = getenv("QUELT_EMULADOR"))
      return "quelt runs in "s + e + ": strace would count the emulator's calls";
    std::string dicho;
    char b[256];
    FILE *p = popen("setsid -w strace -qq -o /dev/null -e inject=getppid:error=EPERM true 2>&1", "r");
    for (size_t n; p && (n = fread(b, 1, sizeof b, p)) > 0;) dicho.append(b, n);
    return p && pclose(p) == 0 ? "" : "strace cannot run here: " + dicho;
  }();
  return por;
}

static size_t Veces(const std::string &en, const std::string &que)
{
  size_t n = 0;
  for (size_t i = en.find(que); i != std::string::npos; i = en.find(que, i + que.size())) n++;
  return n;
}

// The calls of a list with their vector forms: a C library may read and
// write its streams with readv and writev (musl does).
static std::string Con_vectores(const std::string &lista)
{
  std::string todas, c;
  for (std::istringstream s(lista); std::getline(s, c, ',');)
    todas += (todas.empty() ? "" : ",") + c + (c == "read" || c == "write" ? "," + c + "v" : "");
  return todas;
}

// Where the call that f means stands among the calls of its name in a
// strace log, from 1, its line, and that name (f's call or its vector
// form); 0 when it is not there.
static int Indice(const Fallo &f, const std::string &traza, std::string &linea, std::string &nombre)
{
  std::istringstream lineas(traza);
  std::map<std::string, int> veces;
  bool tras = !*f.marca;
  while (std::getline(lineas, linea)) {
    linea.erase(0, linea.find_first_not_of("0123456789 "));  // the process id
    nombre = linea.substr(0, linea.find('('));
    bool es = nombre == f.llamada || nombre == f.llamada + "v"s;
    int n = veces[nombre] += es;
    if (tras && es && linea.find(f.cual) != std::string::npos) return n;
    tras = tras || linea.find(f.marca) != std::string::npos;
  }
  return 0;
}

struct Corrida {
  int estado;
  std::string pantalla, traza, descriptores;
};
// One run of row f's session under strace with its options (an injection
// or none), against guion.  When sigue, quelt is still there after
// HELP's reply, at the menu: its descriptors are taken, then 0 is typed.
static Corrida Correr(const Fallo &f, const std::optional<Guion> &guion, const std::string &inyeccion, bool sigue)
{
  static int n;
  std::string ip = "127.0.6." + std::to_string(++n % 250 + 1), traza = Carpeta() + "/traza";
  std::vector<std::string> orden = {"setsid", "-w", "strace", "-f", "-qq", "-o", traza,
                                    "-e", "trace=" + Con_vectores(f.llamada + (*f.traza ? ","s + f.traza : ""))};
  // LeakSanitizer cannot run under ptrace; the other sanitizers can.
  if (const char *asan = getenv("ASAN_OPTIONS")) orden.insert(orden.begin(), {"env", "ASAN_OPTIONS="s + asan + ":detect_leaks=0"});
  if (*f.ruta) orden.insert(orden.end(), {"-P", std::filesystem::canonical(Ficheros()) / f.ruta});
  if (!inyeccion.empty()) orden.insert(orden.end(), {"-e", inyeccion});
  orden.insert(orden.end(), {QUELT, ip});
  std::unique_ptr<Servidor> s;
  if (guion) s = std::make_unique<Servidor>(ip, *guion);
  Terminal t(orden, Ficheros());
  Corrida c;
  t.escribe("ana\nx\n" + f.teclas + (sigue ? "6\n" : "6\n0\n"));
  if (sigue) {
    EXPECT_TRUE(t.espera("214 ayuda\r\n" + Menu(), 10000)) << Visible(t.pantalla());
    c.descriptores = Descriptores();
    t.escribe("0\n");
  }
  c.estado = t.fin(10000);
  c.pantalla = t.pantalla();
  if (s) {
    EXPECT_EQ(s->fin(), "");
  }
  c.traza = Leer(traza);
  return c;
}

class Inyectado : public testing::TestWithParam<Fallo> {};
static void PrintTo(const Fallo &f, std::ostream *os) { *os << f.nombre; }

TEST_P(Inyectado, SoloAcabaSuOperacion)
{
  const Fallo &f = GetParam();
  NECESITA_PUERTO_21();
  if (std::string por = Sin_strace(); !por.empty()) {
    GTEST_SKIP() << por;
  }
  Corrida ensayo = Correr(f, LOGIN + f.ensayo + AYUDA_S, "", true);
  ASSERT_EQ(ensayo.estado, 0) << Visible(ensayo.pantalla);
  ASSERT_EQ(Veces(ensayo.pantalla, "ERROR"), 0u) << Visible(ensayo.pantalla);
  std::string linea, nombre, inyectada;
  int n = Indice(f, ensayo.traza, linea, nombre);
  if (n == 0 && *f.falta) {
    GTEST_SKIP() << f.falta;
  }
  ASSERT_GT(n, 0) << "no such " << f.llamada << " in:\n" << ensayo.traza;

  Corrida r = Correr(f, f.servidor, "inject=" + nombre + ":error=" + std::to_string(f.error) + ":when=" + std::to_string(n),
                     f.estado == 0);
  EXPECT_EQ(r.estado, f.estado) << Visible(r.pantalla);
  // The call that failed is the one meant, and the only one.
  EXPECT_EQ(Veces(r.traza, "(INJECTED)"), 1u) << r.traza;
  EXPECT_EQ(Indice(f, r.traza, linea, inyectada), n) << r.traza;
  EXPECT_EQ(inyectada, nombre);
  EXPECT_NE(linea.find("(INJECTED)"), std::string::npos) << linea;
  // Reported once, and the menu follows: HELP gets its own reply, 0 its QUIT's.
  EXPECT_TRUE(Muestra(r.pantalla, f.mensaje)) << Visible(f.mensaje) << " in " << Visible(r.pantalla);
  EXPECT_EQ(Veces(r.pantalla, "ERROR"), Veces(f.mensaje, "ERROR")) << Visible(r.pantalla);
  if (f.estado == 0) {
    EXPECT_NE(r.pantalla.find("214 ayuda\r\n" + Menu() + "0\n221 Adios\r\n"), std::string::npos) << Visible(r.pantalla);
    if (f.llamada != "close"s) {  // an injected close closes nothing
      EXPECT_NE(ensayo.descriptores, "");
      EXPECT_EQ(r.descriptores, ensayo.descriptores);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Llamadas, Inyectado, testing::ValuesIn(fallos), [](const testing::TestParamInfo<Fallo> &i) {
  std::string nombre = i.param.nombre;
  for (char &c : nombre) c = isalnum((unsigned char)c) ? c : '_';
  return nombre;
});
