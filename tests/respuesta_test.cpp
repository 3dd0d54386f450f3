// The reply reader over a socket: where a reply ends, what it returns, and
// that every byte read is shown exactly as it came.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "apoyo.h"
#include "comun.h"

using namespace std::string_literals;

TEST(Respuesta, FinCodigoYTextoMostrado)
{
  const std::string x1019(1019, 'x'), x1500(1500, 'x'), x3000(3000, '7');
  struct { std::string llega; int codigo; std::string mostrado; } casos[] = {
      {"220 Hola\r\n331 siguiente\r\n", 220, "220 Hola\r\n"},
      {"220 Hola\n331 siguiente\n", 220, "220 Hola\n"},
      {"230-Uno\r\n Dos\r\n230 Tres\r\n500 no\r\n", 230, "230-Uno\r\n Dos\r\n230 Tres\r\n"},
      {"230-Uno\r\n 211 fin\r\n230 no\r\n", 211, "230-Uno\r\n 211 fin\r\n"},
      {"230-Uno\r\n331 fin\r\n230 no\r\n", 331, "230-Uno\r\n331 fin\r\n"},
      {"200\r\n250 Ok\r\n331 no\r\n", 250, "200\r\n250 Ok\r\n"},
      {"2001 x\r\n", 200, "2001 x\r\n"},
      {"Hola\r\n\r\n220 x\r\n", 220, "Hola\r\n\r\n220 x\r\n"},
      {"220-" + x1500 + "\r\n220 fin\r\n", 220, "220-" + x1500 + "\r\n220 fin\r\n"},
      // Only the first piece of a long line is parsed: a piece that starts
      // "200 " further in is text, and the reply goes on to its end.
      {"220-" + x1019 + "200 z\r\n220 fin\r\n200 no\r\n", 220, "220-" + x1019 + "200 z\r\n220 fin\r\n"},
      {"214 " + x3000 + "\r\n250 no\r\n", 214, "214 " + x3000 + "\r\n"},
      {"220-" + x1019 + "250-z\r\n220 fin\r\n", 220, "220-" + x1019 + "250-z\r\n220 fin\r\n"},
      {"220 a\0b\r\n"s, 220, "220 a\0b\r\n"s},
      {"", 0, ""},
      {"Hola\r\n", 0, "Hola\r\n"},
      {"230-a\r\n", 230, "230-a\r\n"},
      {"230-a\r\n 421", 421, "230-a\r\n 421"},
      {"-12 signo\r\n", -12, "-12 signo\r\n"},
  };
  for (auto &k : casos) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    ASSERT_EQ(write(sv[1], k.llega.data(), k.llega.size()), (ssize_t)k.llega.size());
    close(sv[1]);
    sockfd = sv[0];  // the streams quelt lays over its control connection
    ASSERT_EQ(Abrir_ficheros(), 1);
    fflush(stdout);
    testing::internal::CaptureStdout();
    int codigo = Respuesta();
    fflush(stdout);
    std::string mostrado = testing::internal::GetCapturedStdout();
    fclose(controlL);
    fclose(controlE);
    EXPECT_EQ(codigo, k.codigo) << Visible(k.llega);
    EXPECT_EQ(mostrado, k.mostrado) << Visible(k.llega);
  }
}
