// The scripted FTP server of the tests.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "apoyo.h"

using namespace std::chrono;

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
    if (c == '\r') v += "\\r";
    else if (c == '\n') v += "\\n";
    else if (c < 32 || c > 126) { snprintf(hex, sizeof hex, "\\x%02x", c); v += hex; }
    else v += (char)c;
  }
  return v.size() > 300 ? v.substr(0, 300) + "..." : v;
}

Servidor::Servidor(const std::string &ip, Guion g, int limite_ms)
    : guion(std::move(g)), limite(steady_clock::now() + milliseconds(limite_ms))
{
  sockaddr_in a{};
  int si = 1;
  a.sin_family = AF_INET;
  a.sin_port = htons(21);
  inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
  escucha = socket(AF_INET, SOCK_STREAM, 0);
  setsockopt(escucha, SOL_SOCKET, SO_REUSEADDR, &si, sizeof si);
  if (bind(escucha, (sockaddr *)&a, sizeof a) || listen(escucha, 1)) {
    std::string por = strerror(errno);
    close(escucha);
    throw std::runtime_error("cannot listen on " + ip + ":21: " + por);
  }
  hilo = std::thread(&Servidor::correr, this);
}

Servidor::~Servidor() { fin(); }

std::string Servidor::fin()
{
  if (hilo.joinable()) hilo.join();
  return error;
}

void Servidor::esperar(int fd, short ev, const std::string &paso)
{
  pollfd p{fd, ev, 0};
  int ms = duration_cast<milliseconds>(limite - steady_clock::now()).count();
  if (ms <= 0 || poll(&p, 1, ms) <= 0) throw std::runtime_error("time limit at step '" + Visible(paso) + "'");
}

std::string Servidor::leer_linea(const std::string &paso)
{
  std::string l;
  char c = 0;
  try {
    while (c != '\n') {
      esperar(control, POLLIN, paso);
      if (recv(control, &c, 1, 0) != 1) { l += "<closed>"; break; }
      l += c;
    }
  } catch (std::exception &) { l += "<time limit>"; }
  lineas.push_back(l);
  return l;
}

void Servidor::enviar(int fd, const std::string &b, const std::string &paso)
{
  for (size_t hecho = 0; hecho < b.size();) {
    esperar(fd, POLLOUT, paso);
    ssize_t n = send(fd, b.data() + hecho, b.size() - hecho, MSG_NOSIGNAL);
    if (n <= 0) throw std::runtime_error("send failed at step '" + Visible(paso) + "'");
    hecho += n;
  }
}

void Servidor::correr()
{
  try {
    esperar(escucha, POLLIN, "accept");
    control = accept(escucha, nullptr, nullptr);
    for (const std::string &p : guion) {
      std::string orden = p.substr(0, p.find(' ')), resto = p.substr(std::min(p.size(), orden.size() + 1));
      if (orden == ">") enviar(control, resto, p);
      else if (orden == "<") {
        std::string l = leer_linea(p);
        bool prefijo = !resto.empty() && resto.back() == '*';
        std::string quiero = prefijo ? resto.substr(0, resto.size() - 1) : resto + "\r\n";
        if (prefijo ? l.compare(0, quiero.size(), quiero) != 0 || l.size() < 2 ||
                          l.compare(l.size() - 2, 2, "\r\n") != 0 || l.find('\r') != l.size() - 2
                    : l != quiero)
          throw std::runtime_error("expected '" + Visible(quiero) + "', got '" + Visible(l) + "'");
      } else if (orden == "close") { close(control); control = -1; }
      else if (orden == "dconnect") {
        std::string port;
        for (auto &l : lineas) if (l.compare(0, 5, "PORT ") == 0) port = l;
        int h[6];
        if (sscanf(port.c_str(), "PORT %d,%d,%d,%d,%d,%d", h, h + 1, h + 2, h + 3, h + 4, h + 5) != 6)
          throw std::runtime_error("no PORT line before dconnect");
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(h[4] * 256 + h[5]);
        a.sin_addr.s_addr = htonl((uint32_t)h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3]);
        dato = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(dato, (sockaddr *)&a, sizeof a)) throw std::runtime_error("dconnect: cannot connect to " + Visible(port));
      } else if (orden == "dsend") enviar(dato, resto, p);
      else if (orden == "dfin") shutdown(dato, SHUT_WR);
      else if (orden == "drecv") {
        char b[65536];
        ssize_t n;
        datos.emplace_back();
        do {
          esperar(dato, POLLIN, p);
          if ((n = recv(dato, b, sizeof b, 0)) > 0) datos.back().append(b, n);
        } while (n > 0);
      } else if (orden == "dclose" || orden == "dreset") {
        linger l{1, 0};
        if (orden == "dreset") setsockopt(dato, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close(dato);
        dato = -1;
      } else if (orden == "pause") std::this_thread::sleep_for(milliseconds(std::stoi(resto)));
      else throw std::runtime_error("unknown step '" + Visible(p) + "'");
    }
  } catch (std::exception &e) { error = e.what(); }
  for (int fd : {control, dato, escucha}) if (fd >= 0) close(fd);
  control = dato = escucha = -1;
}
