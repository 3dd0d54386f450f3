// The terminal the tests run quelt in.
#include <chrono>
#include <cstdlib>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "apoyo.h"

using namespace std::chrono;

std::string Programa()
{
  const char *otro = getenv("QUELT_PROGRAMA");
  return otro && *otro ? otro : QUELT_CONSTRUIDO;
}

Terminal::Terminal(const std::vector<std::string> &argv, const std::string &dir)
{
  // Built before the fork: the child of a threaded process (the scripted
  // server runs in a thread) must not allocate.
  std::vector<char *> a;
  for (auto &s : argv) a.push_back(const_cast<char *>(s.c_str()));
  a.push_back(nullptr);
  if ((pid = forkpty(&maestro, nullptr, nullptr, nullptr)) < 0) throw std::runtime_error("forkpty");
  if (pid == 0) {
    termios tm;  // line ends reach the screen as the program writes them
    tcgetattr(0, &tm);
    tm.c_oflag &= ~ONLCR;
    tcsetattr(0, TCSANOW, &tm);
    closefrom(3);  // the terminal alone, as a login shell leaves it
    if (chdir(dir.c_str()) == 0) execvp(a[0], a.data());
    perror("exec");
    _exit(127);
  }
}

Terminal::~Terminal()
{
  if (estado == -2) { kill(pid, SIGKILL); waitpid(pid, nullptr, 0); }
  if (maestro >= 0) close(maestro);
}

// Takes everything pending, after waiting up to ms for the first byte.
void Terminal::leer(int ms)
{
  pollfd p{maestro, POLLIN, 0};
  char b[4096];
  ssize_t n = 0;
  for (int espera = ms; maestro >= 0 && poll(&p, 1, espera) > 0 && (n = read(maestro, b, sizeof b)) > 0; espera = 0)
    texto.append(b, n);
  if (n <= 0 && ms > 0) std::this_thread::sleep_for(milliseconds(1));  // closed: no spinning
}

bool Terminal::espera(const std::string &t, int ms)
{
  auto fin = steady_clock::now() + milliseconds(ms);
  size_t i;
  while ((i = texto.find(t, marca)) == std::string::npos) {
    if (steady_clock::now() > fin) return false;
    leer(10);
  }
  marca = i + t.size();
  return true;
}

void Terminal::escribe(const std::string &s)
{
  if (write(maestro, s.data(), s.size()) != (ssize_t)s.size()) throw std::runtime_error("cannot type");
}

void Terminal::cerrar()
{
  leer(0);
  close(maestro);
  maestro = -1;
}

std::string Terminal::pantalla()
{
  leer(0);
  return texto;
}

int Terminal::fin(int ms)
{
  auto limite = steady_clock::now() + milliseconds(ms);
  for (int st; estado == -2; leer(10))
    if (waitpid(pid, &st, WNOHANG) == pid) estado = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    else if (steady_clock::now() > limite) { kill(pid, SIGKILL); waitpid(pid, nullptr, 0); estado = -1; }
  return estado;
}
