// Test support: a scripted FTP server and a terminal to run quelt in.
#pragma once
#include <chrono>
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
// The usual start: greeting, USER/PASS accepted, PWD answered with dir.
Guion Entrada(const std::string &usuario = "ana", const std::string &clave = "s3creta",
              const std::string &dir = "/");
// Shows bytes with \r, \n and other control bytes escaped, for messages.
std::string Visible(const std::string &s);

// A fake FTP server on ip:21 playing one script in a thread of its own.
// Each step is a string (std::string, so any bytes and any length):
//   "> BYTES"     send BYTES on the control connection as they are
//   "< LINE"      read one command line; it must be exactly LINE CR LF.
//                 A LINE ending in '*' only checks the start ("< PORT *").
//   "close"       close the control connection
//   "dconnect"    connect to the address of the last PORT line received
//   "dsend BYTES" send BYTES on the data connection
//   "dfin"        end what we send on it (the client sees its end) but keep reading
//   "drecv"       read the data connection until the client closes it;
//                 what came is appended to datos
//   "dclose", "dreset"  close it; reset first sets SO_LINGER 0 (RST)
//   "pause MS"    wait MS milliseconds
// Any step past the time limit, or not as expected, ends the script with
// the reason and closes everything, so the client never hangs on us.
class Servidor {
public:
  Servidor(const std::string &ip, Guion guion, int limite_ms = 10000);
  ~Servidor();
  std::string fin();                // waits for the script: "" or what went wrong
  std::vector<std::string> lineas;  // every command line as received (read after fin)
  std::vector<std::string> datos;   // what each drecv step received
private:
  void correr();
  void esperar(int fd, short ev, const std::string &paso);
  std::string leer_linea(const std::string &paso);
  void enviar(int fd, const std::string &b, const std::string &paso);
  Guion guion;
  int escucha = -1, control = -1, dato = -1;
  std::chrono::steady_clock::time_point limite;
  std::string error;
  std::thread hilo;
};

// A program run in a pseudo-terminal, as a person would run it.  With
// tubo, standard input is a pipe instead (getpass still uses the terminal).
class Terminal {
public:
  Terminal(const std::vector<std::string> &argv, const std::string &dir = ".",
           bool tubo = false);
  ~Terminal();
  // Waits until texto shows after the previous match; false on time-out.
  bool espera(const std::string &texto, int ms = 5000);
  void escribe(const std::string &s, bool a_tty = false);
  void eof();                // Ctrl-D at the start of a line, or closes the pipe
  void cerrar();             // closes the terminal: the program gets a hangup
  std::string pantalla();    // everything shown so far
  int fin(int ms = 5000);    // exit status, 128+signal, or -1 if killed on time-out
private:
  void leer(int ms);
  pid_t pid = -1;
  int maestro = -1, tubo = -1, estado = -2;
  std::string texto;
  size_t marca = 0;
};

// One whole run of a program (argv) against a Servidor on ip playing guion:
// for each step of the dialogue, waits for its text on the screen and types
// its answer ("\x04" is Ctrl-D), then waits for the end.  A text that never
// shows fails the test and hangs up.  Also checks that every waited-for
// text shows exactly as many times as it was waited for.
using Dialogo = std::vector<std::pair<std::string, std::string>>;
struct Resultado {
  std::string pantalla, error;  // error: the server's, "" when its script went well
  int estado;
  std::vector<std::string> lineas, datos;
};
Resultado Sesion(const std::vector<std::string> &argv, const std::string &ip, const Guion &guion,
                 const Dialogo &dialogo, const std::string &dir = ".");
// The answers to the usual login of Entrada.
Dialogo Login(const std::string &usuario = "ana", const std::string &clave = "s3creta");
