// Every fault a server or a user can cause, end to end: quelt runs in a
// terminal against a scripted server on 127.0.5.N, and each row says how
// it must end (exit status, a message on the screen) or go on.  A row that
// goes on ends with HELP, whose reply must be its own, then 0.  The
// server's script checks every command line quelt sends.
#include <filesystem>
#include <fstream>
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
    {"Nombre: vacio", LOGIN + AYUDA_S, Dialogo{{"Nombre: ", "\n"}, {"", " \n ana\n"}, {"Clave: ", "x\n"}} + AYUDA_U, 0, ""},
    // getpass gives "" both at the end of the input and for an empty line.
    {"Clave: fin, vacia", HOLA + Guion{"< USER ana", "> 331 c\r\n", "< PASS ", "> 530 no\r\n", "< USER ana", "> 331 c\r\n", "< PASS ", "> 530 no\r\n"} + QUIT,
     {{"Nombre: ", "ana\n"}, {"Clave: ", "\x04"}, {"Nombre: ", "ana\n"}, {"Clave: ", "\n"}, {"Nombre: ", "\x04"}}, 1, "se ha terminado antes del login"},
    // As long as the terminal password routine of every libc takes whole.
    {"Clave: larga", HOLA + Guion{"< USER ana", "> 331 c\r\n", "< PASS " + std::string(127, 'p'), "> 230 si\r\n", "< PWD", "> 257 \"/\"\r\n"} + AYUDA_S,
     Login("ana", std::string(127, 'p')) + AYUDA_U, 0, ""},
    {"Opcion: fin", LOGIN + QUIT, TECLEO + Orden("\x04"), 0, ""},
    {"Opcion: no numero", LOGIN + AYUDA_S,
     TECLEO + Orden("abc\n") + Orden("7\n") + Orden("-1\n") + Orden("6x\n") + Orden("99999999999999999999\n") + AYUDA_U, 0, "ERROR\n"},
    {"Opcion: vacia", LOGIN + AYUDA_S, TECLEO + Orden("\n") + Dialogo{{"", "6\n"}, {"214 ayuda\r\n", ""}, {"Opcion: ", "0\n"}}, 0, ""},
    {"directorio: fin", LOGIN + QUIT, TECLEO + Orden("1\n") + Dialogo{{"directorio: ", "\x04"}}, 0, ""},
    {"directorio: largo", LOGIN + AYUDA_S, TECLEO + Orden("1\n") + Dialogo{{"directorio: ", LARGO + "\n"}} + AYUDA_U, 0,
     "ERROR: el nombre pasa de 19 caracteres."},
    {"directorio: vacio", LOGIN + Guion{"< CWD sub", "> 250 ok\r\n", "< PWD", "> 257 \"/sub\"\r\n"} + AYUDA_S,
     TECLEO + Orden("1\n") + Dialogo{{"directorio: ", "\n"}, {"", "sub\n"}} + AYUDA_U, 0, "Directorio actual: /sub"},
    {"fichero: fin", LOGIN + QUIT, TECLEO + Orden("4\n") + Dialogo{{"fichero: ", "\x04"}}, 0, ""},
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

// The open descriptors of the quelt the terminal started, a child of ours.
static long Descriptores()
{
  for (auto &e : std::filesystem::directory_iterator("/proc")) {
    std::ifstream f(e.path() / "stat");
    std::string pid, comm, estado;
    int padre = 0;
    if (f >> pid >> comm >> estado >> padre && padre == getpid() && comm == "(quelt)")
      return std::distance(std::filesystem::directory_iterator(e.path() / "fd"), {});
  }
  return -1;
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
  long tras_login = Descriptores();
  ASSERT_GT(tras_login, 0);
  ASSERT_TRUE(Teclear(t, usuario + Dialogo{{"Opcion: ", ""}}, 10000));
  EXPECT_EQ(Descriptores(), tras_login);
  t.escribe("0\n");
  EXPECT_EQ(t.fin(10000), 0);
  EXPECT_EQ(s.fin(), "");
  EXPECT_EQ(s.datos.size(), 40u);
}
