// The terminal the tests run quelt in.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "apoyo.h"

using namespace std::chrono;

Terminal::Terminal(const std::vector<std::string> &argv, const std::string &dir, bool con_tubo)
{
  int t[2] = {-1, -1};
  if (con_tubo && pipe(t)) throw std::runtime_error("pipe");
  if ((pid = forkpty(&maestro, nullptr, nullptr, nullptr)) < 0) throw std::runtime_error("forkpty");
  if (pid == 0) {
    // Line ends reach the screen as the program writes them: no CR added.
    termios tm;
    tcgetattr(0, &tm);
    tm.c_oflag &= ~ONLCR;
    tcsetattr(0, TCSANOW, &tm);
    if (con_tubo) { dup2(t[0], 0); close(t[0]); close(t[1]); }
    std::vector<char *> a;
    for (auto &s : argv) a.push_back(const_cast<char *>(s.c_str()));
    a.push_back(nullptr);
    if (chdir(dir.c_str()) == 0) execvp(a[0], a.data());
    perror("exec");
    _exit(127);
  }
  if (con_tubo) { close(t[0]); tubo = t[1]; }
}

Terminal::~Terminal()
{
  if (estado == -2 && pid > 0) { kill(pid, SIGKILL); waitpid(pid, nullptr, 0); }
  for (int fd : {maestro, tubo}) if (fd >= 0) close(fd);
}

void Terminal::leer(int ms)
{
  // Everything pending, after waiting up to ms for the first byte.
  pollfd p{maestro, POLLIN, 0};
  char b[4096];
  ssize_t n;
  bool algo = false;
  while (maestro >= 0 && poll(&p, 1, algo ? 0 : ms) > 0 && (n = read(maestro, b, sizeof b)) > 0) {
    texto.append(b, n);
    algo = true;
  }
  if (!algo && ms > 0) std::this_thread::sleep_for(milliseconds(1));  // closed: do not spin
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

void Terminal::escribe(const std::string &s, bool a_tty)
{
  int fd = tubo >= 0 && !a_tty ? tubo : maestro;
  if (write(fd, s.data(), s.size()) != (ssize_t)s.size()) throw std::runtime_error("write to the program");
}

void Terminal::eof()
{
  if (tubo >= 0) { close(tubo); tubo = -1; }
  else escribe("\x04");
}

void Terminal::cerrar()
{
  leer(0);  // keep what was shown
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
  int st;
  while (estado == -2) {
    if (waitpid(pid, &st, WNOHANG) == pid) estado = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    else if (steady_clock::now() > limite) { kill(pid, SIGKILL); waitpid(pid, nullptr, 0); estado = -1; }
    else leer(10);
  }
  leer(0);  // what is still in the terminal
  return estado;
}
