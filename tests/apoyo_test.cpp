// The test support itself: the scripted server must notice a wrong line,
// move data both ways, and never hang; the terminal must show and type.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "apoyo.h"

using namespace std::string_literals;

static int Conectar(const char *ip, int puerto)
{
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(puerto);
  inet_pton(AF_INET, ip, &a.sin_addr);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(connect(fd, (sockaddr *)&a, sizeof a), 0);
  return fd;
}

static std::string Leer_todo(int fd)
{
  std::string s;
  char b[4096];
  for (ssize_t n; (n = read(fd, b, sizeof b)) > 0;) s.append(b, n);
  return s;
}

TEST(Servidor, SigueElGuionYMueveDatos)
{
  std::string grande(100000, '\0');
  Servidor s("127.0.1.1", {"> 220 a\0b\r\n\0"s, "< USER ana", "< PORT *", "dconnect",
                           "dsend " + grande, "dclose", "dconnect", "drecv", "> 226 fin\r\n"});
  int c = Conectar("127.0.1.1", 21);
  sockaddr_in yo{};
  socklen_t largo = sizeof yo;
  int e = socket(AF_INET, SOCK_STREAM, 0);
  yo.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &yo.sin_addr);
  ASSERT_EQ(bind(e, (sockaddr *)&yo, sizeof yo), 0);
  listen(e, 2);
  getsockname(e, (sockaddr *)&yo, &largo);
  int p = ntohs(yo.sin_port);
  std::string ordenes = "USER ana\r\nPORT 127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256) + "\r\n";
  write(c, ordenes.data(), ordenes.size());
  int d = accept(e, nullptr, nullptr);
  EXPECT_EQ(Leer_todo(d), grande);
  close(d);
  d = accept(e, nullptr, nullptr);
  write(d, "subida", 6);
  close(d);
  EXPECT_EQ(Leer_todo(c), "220 a\0b\r\n\0"s "226 fin\r\n");
  EXPECT_EQ(s.fin(), "");
  EXPECT_EQ(s.lineas, Guion({"USER ana\r\n", ordenes.substr(10)}));
  EXPECT_EQ(s.datos, Guion({"subida"}));
  close(c);
  close(e);
}

TEST(Servidor, FallaSiLaOrdenDifiereOTardaDemasiado)
{
  struct { const char *envio, *error; } casos[] = {
      {"USER bob\r\n", "expected 'USER ana\\r\\n', got 'USER bob\\r\\n'"},
      {"USER ana\n", "expected 'USER ana\\r\\n', got 'USER ana\\n'"},
      {"USER ana\r\r\n", "expected 'USER ana\\r\\n', got 'USER ana\\r\\r\\n'"},
      {"USER an", "expected 'USER ana\\r\\n', got 'USER an<time limit>'"},
  };
  for (auto &k : casos) {
    Servidor s("127.0.1.8", {"< USER ana", "> 331 x\r\n"}, 500);
    int c = Conectar("127.0.1.8", 21);
    write(c, k.envio, strlen(k.envio));
    EXPECT_EQ(s.fin(), k.error);
    EXPECT_EQ(Leer_todo(c), "");  // closed, not answered
    close(c);
  }
}

TEST(Terminal, MuestraTecleaYDaElEstado)
{
  Terminal t({"sh", "-c", "printf 'Dime: '; read x; echo \"<$x>\"; read y || exit 7"}, "/tmp");
  ASSERT_TRUE(t.espera("Dime: "));
  t.escribe("hola\n");
  EXPECT_TRUE(t.espera("<hola>\n")) << t.pantalla();
  t.eof();
  EXPECT_EQ(t.fin(), 7);
  Terminal colgado({"sleep", "30"});
  EXPECT_FALSE(colgado.espera("nada", 100));
  EXPECT_EQ(colgado.fin(200), -1);
}
