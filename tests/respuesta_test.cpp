// The reply reader over a socket: where a reply ends, what it returns, and
// that every byte read is shown exactly as it came (into a file, as here).
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
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
  // The stream whole, or in pieces of one size, each sent once all before
  // it has been read: a reply parses and shows the same however it comes.
  for (size_t trozo : {0, 1, 1022, 1023, 1024, 1 << 16})
    for (auto &k : casos) {
      SCOPED_TRACE("pieces of " + std::to_string(trozo) + ": " + Visible(k.llega));
      int sv[2];
      ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
      std::thread servidor([&, fd = sv[1]] {
        size_t paso = trozo ? trozo : std::max<size_t>(k.llega.size(), 1);
        for (size_t hecho = 0; hecho < k.llega.size(); hecho += paso) {
          for (int enviado = 1, n = 0; enviado > 0 && n < 10000; n++) {  // read, or the reader gone
            if (ioctl(fd, SIOCOUTQ, &enviado) != 0) break;
            if (enviado > 0) usleep(100);
          }
          if (send(fd, k.llega.data() + hecho, std::min(paso, k.llega.size() - hecho), MSG_NOSIGNAL) <= 0) break;
        }
        close(fd);
      });
      sockfd = sv[0];  // the streams quelt lays over its control connection
      ASSERT_EQ(Abrir_ficheros(), 1);
      fflush(stdout);
      testing::internal::CaptureStdout();
      int codigo = Respuesta();
      fflush(stdout);
      std::string mostrado = testing::internal::GetCapturedStdout();
      fclose(controlL);
      fclose(controlE);
      servidor.join();
      EXPECT_EQ(codigo, k.codigo);
      EXPECT_EQ(mostrado, k.mostrado);
    }
}
