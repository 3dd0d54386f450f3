// The scripted FTP server of the tests.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "apoyo.h"

using namespace std::chrono;
using Fallo = std::runtime_error;

Guion Entrada(const std::string &usuario, const std::string &clave, const std::string &dir)
{
  return {"> 220 Hola\r\n", "< USER " + usuario, "> 331 Clave\r\n", "< PASS " + clave,
          "> 230 Dentro\r\n", "< PWD", "> 257 \"" + dir + "\" es el directorio\r\n"};
}

std::string Visible(const std::string &s)
{
  std::string v;
  char hex[8];
  for (unsigned char c : s) {
    snprintf(hex, sizeof hex, c == '\r' ? "\\r" : c == '\n' ? "\\n" : c < 32 || c > 126 ? "\\x%02x" : "%c", c);
    v += hex;
  }
  return v.size() > 300 ? v.substr(0, 300) + "..." : v;
}

// A socket listening on ip:21, or -1 with the reason it cannot.
static int Escuchar(const std::string &ip, std::string &por)
{
  sockaddr_in a{AF_INET, htons(21), {}, {}};
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), si = 1;
  inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &si, sizeof si);
  if (bind(fd, (sockaddr *)&a, sizeof a) == 0 && listen(fd, 1) == 0) return fd;
  por = strerror(errno);
  close(fd);
  return -1;
}

std::string Sin_puerto_21()
{
  std::string por;
  int fd = Escuchar("127.0.9.9", por);
  if (fd >= 0) close(fd);
  return fd >= 0 ? "" : "cannot listen on 127.0.9.9:21 (" + por + "), and no network of our own (" + sin_espacio + ")";
}

Servidor::Servidor(const std::string &ip, Guion guion, int limite_ms)
{
  std::string por;
  int escucha = Escuchar(ip, por);
  if (escucha < 0) throw Fallo("cannot listen on " + ip + ":21: " + por);
  hilo = std::thread([this, escucha, guion, ip, limite = steady_clock::now() + milliseconds(limite_ms)] {
    int control = -1, dato = -1;
    std::string paso;
    auto esperar = [&](int fd, short ev) {
      pollfd p{fd, ev, 0};
      int ms = duration_cast<milliseconds>(limite - steady_clock::now()).count();
      if (ms <= 0 || poll(&p, 1, ms) <= 0) throw Fallo("time limit at step '" + Visible(paso) + "'");
    };
    auto enviar = [&](int fd, const std::string &b) {
      for (ssize_t hecho = 0, n; hecho < (ssize_t)b.size(); hecho += n) {
        esperar(fd, POLLOUT);
        if ((n = send(fd, b.data() + hecho, b.size() - hecho, MSG_NOSIGNAL)) <= 0)
          throw Fallo("send failed at step '" + Visible(paso) + "'");
      }
    };
    try {
      paso = "accept";
      esperar(escucha, POLLIN);
      control = accept4(escucha, nullptr, nullptr, SOCK_CLOEXEC);
      for (const std::string &p : guion) {
        paso = p;
        std::string orden = p.substr(0, p.find(' ')), resto = p.substr(std::min(p.size(), orden.size() + 1));
        if (orden == ">") enviar(control, resto);
        else if (orden == "<") {
          std::string l;
          try {
            for (char c = 0; c != '\n'; l += c) {
              esperar(control, POLLIN);
              if (recv(control, &c, 1, 0) != 1) { l += "<closed>"; break; }
            }
          } catch (Fallo &) { l += "<time limit>"; }
          lineas.push_back(l);
          bool prefijo = !resto.empty() && resto.back() == '*';
          std::string quiero = prefijo ? resto.substr(0, resto.size() - 1) : resto + "\r\n";
          if (prefijo ? l.compare(0, quiero.size(), quiero) || l.size() < 2 || l.compare(l.size() - 2, 2, "\r\n") : l != quiero)
            throw Fallo("expected '" + Visible(quiero) + "', got '" + Visible(l) + "'");
        } else if (orden == "close") { close(control); control = -1; }
        else if (orden == "dconnect") {
          std::string port;
          for (auto &l : lineas) if (l.compare(0, 5, "PORT ") == 0) port = l;
          unsigned h[6];
          if (sscanf(port.c_str(), "PORT %u,%u,%u,%u,%u,%u", h, h + 1, h + 2, h + 3, h + 4, h + 5) != 6)
            throw Fallo("no PORT line before dconnect");
          sockaddr_in d{AF_INET, htons(h[4] << 8 | h[5]), {htonl(h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3])}, {}},
              desde{AF_INET, 0, {}, {}};
          inet_pton(AF_INET, resto.empty() ? ip.c_str() : resto.c_str(), &desde.sin_addr);
          dato = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
          if (bind(dato, (sockaddr *)&desde, sizeof desde) || connect(dato, (sockaddr *)&d, sizeof d))
            throw Fallo("dconnect: cannot connect to " + Visible(port));
        } else if (orden == "dsend") enviar(dato, resto);
        else if (orden == "dfin") shutdown(dato, SHUT_WR);
        else if (orden == "drecv") {
          char b[65536];
          datos.emplace_back();
          for (ssize_t n = 1; n > 0; datos.back().append(b, std::max<ssize_t>(n, 0))) {
            esperar(dato, POLLIN);
            n = recv(dato, b, sizeof b, 0);
          }
        } else if (orden == "dclose" || orden == "dreset") {
          linger l{1, 0};
          if (orden == "dreset") setsockopt(dato, SOL_SOCKET, SO_LINGER, &l, sizeof l);
          close(dato);
          dato = -1;
        } else if (orden == "pause") std::this_thread::sleep_for(milliseconds(std::stoi(resto)));
        else throw Fallo("unknown step '" + Visible(p) + "'");
      }
    } catch (std::exception &e) { error = e.what(); }
    for (int fd : {control, dato, escucha}) if (fd >= 0) close(fd);
  });
}

std::string Servidor::fin()
{
  if (hilo.joinable()) hilo.join();
  return error;
}
