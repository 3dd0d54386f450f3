// Test support: a scripted FTP server and a terminal to run quelt in.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>
#include <sys/types.h>

using Guion = std::vector<std::string>;
template <class T> std::vector<T> operator+(std::vector<T> a, const std::vector<T> &b)
{
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// The usual start: greeting, USER and PASS accepted, PWD answered with dir.
Guion Entrada(const std::string &usuario = "ana", const std::string &clave = "s3creta", const std::string &dir = "/");
std::string Visible(const std::string &s);  // control bytes escaped, for messages

// A server's text that a terminal would take for commands, the window's
// title and a cleared screen among them (ESC ]2;, ESC [2J, a status query
// ESC [c that makes the terminal type its answer, BEL, BS, a lone CR, NUL,
// DEL, a C1 CSI alone and in UTF-8), between UTF-8 and Latin-1 letters;
// and how quelt shows it on a terminal.  In a name of a directory (up to
// 39 bytes, with no NUL) the same, shorter.
inline const char RARO_C[] = "a\x1b]2;PWNED\x07" "b\x1b[2Jc\rd\x1b[ce\x08" "f\x7fg\x01h\0i\x9b" "1m\xc2\x9b" "2m \xc3\x91"
                             "and\xc3\xba \xe2\x82\xac \xf1o\r\n";
inline const std::string RARO(RARO_C, sizeof RARO_C - 1),
    RARO_VISTO = "a\\x1b]2;PWNED\\x07b\\x1b[2Jc\\x0dd\\x1b[ce\\x08f\\x7fg\\x01h\\x00i\\x9b1m\\xc2\\x9b2m \xc3\x91"
                 "and\xc3\xba \xe2\x82\xac \xf1o\r\n",
    DIR_RARO = "/\x1b]2;T\x07\x1b[2J\rx\x9b\xc2\x9b\xc3\x91\xe2\x82\xac",
    DIR_RARO_VISTO = "/\\x1b]2;T\\x07\\x1b[2J\\x0dx\\x9b\\xc2\\x9b\xc3\x91\xe2\x82\xac";

// Every test program runs in a network of its own (espacio.cpp), entered
// by its main before any thread starts (sin_espacio: why not, or "").
// There its servers listen on port 21 of their own 127.x addresses; where
// they cannot, the tests that start one skip, saying why.
extern std::string sin_espacio;
void Entrar_en_espacio();
std::string Sin_puerto_21();                       // the reason, or "" when they can
#define NECESITA_PUERTO_21() \
  do { if (std::string por = Sin_puerto_21(); !por.empty()) GTEST_SKIP() << por; } while (0)

// A fake FTP server on ip:21 playing one script in a thread of its own.
// Each step is a string (any bytes, any length):
//   "> BYTES"     send BYTES on the control connection
//   "< LINE"      read one command line, which must be exactly LINE CR LF;
//                 a LINE ending in '*' checks only the start ("< PORT *")
//   "close"       close the control connection
//   "dconnect"    connect to the address of the last PORT line received,
//                 from ip ("dconnect IP": from IP, another host)
//   "dsend BYTES" send BYTES on the data connection
//   "dfin"        shut down our sending side of it, keep reading
//   "drecv"       read it until the client closes it; appended to datos
//   "dclose", "dreset"  close it; reset with SO_LINGER 0 (RST)
//   "pause MS"    wait MS milliseconds
// A step not as expected, or past the time limit, ends the script with the
// reason and closes everything, so the client never hangs on us.
class Servidor {
public:
  Servidor(const std::string &ip, Guion guion, int limite_ms = 10000);
  ~Servidor() { fin(); }
  std::string fin();                // waits for the script: "" or what went wrong
  std::vector<std::string> lineas;  // command lines as received (read after fin)
  std::vector<std::string> datos;   // what each drecv received
private:
  std::string error;
  std::thread hilo;
};

// The quelt under test: the one built with the tests, or the binary that
// QUELT_PROGRAMA names (another build of the same sources, such as musl's).
std::string Programa();
#define QUELT Programa()

// A program run in a pseudo-terminal, as a person would run it.
class Terminal {
public:
  Terminal(const std::vector<std::string> &argv, const std::string &dir = ".");
  ~Terminal();
  bool espera(const std::string &t, int ms = 5000);  // t shown after the last match?
  void escribe(const std::string &s);
  void eof() { escribe("\x04"); }  // Ctrl-D: at the start of a line, end of input
  void cerrar();                   // closes the terminal: the program gets a hangup
  std::string pantalla();          // everything shown so far
  int fin(int ms = 5000);          // exit status, 128+signal, or -1: killed on time-out
private:
  void leer(int ms);
  pid_t pid = -1;
  int maestro = -1, estado = -2;
  std::string texto;
  size_t marca = 0;
};

// Types a dialogue: for each step, waits up to ms for its text, then types
// its answer ("\x04": Ctrl-D).  Fails the test, with the screen, when a
// text never shows.
using Dialogo = std::vector<std::pair<std::string, std::string>>;
bool Teclear(Terminal &t, const Dialogo &dialogo, int ms = 5000);
Dialogo Login(const std::string &usuario = "ana", const std::string &clave = "s3creta");
// A menu choice: its keys, then the file name when one is given.
Dialogo Orden(const std::string &teclas, const std::string &nombre = "");
// The menu as shown, with the folder and type it names.
std::string Menu(const std::string &dir = "/", char tipo = 'A');
// The server's side of the steps most sessions share.
inline const Guion PORT = {"< PORT *", "> 200 ok\r\n"}, QUIT = {"< QUIT", "> 221 Adios\r\n"},
                   AYUDA = {"< HELP", "> 214 ayuda\r\n"};

// One run of quelt on ip against a Servidor there playing guion, in folder
// dir, through the command delante when one is given (such as prlimit):
// types the dialogue, then waits for the end.  Fails the test when the
// script goes wrong, quelt ends with another status, a text shows more
// often than it was waited for, or a command line lacks its CR LF.
struct Resultado {
  std::string pantalla;
  std::vector<std::string> lineas, datos;
};
Resultado Sesion(const std::string &ip, const Guion &guion, const Dialogo &dialogo, int estado = 0,
                 const std::string &dir = ".", int ms = 5000, std::vector<std::string> delante = {});

// A scratch folder, removed when the test program ends; a whole file.
std::string Carpeta();
std::string Leer(const std::string &fichero);
