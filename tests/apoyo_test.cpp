// The test support itself: the scripted server must take the right line,
// notice a wrong one and never hang; the terminal must show, type and time out.
#include <gtest/gtest.h>

#include "apoyo.h"

using namespace std::string_literals;

TEST(Servidor, AceptaLaOrdenEsperadaYNingunaOtra)
{
  NECESITA_PUERTO_21();
  const std::string respuesta = "331 a\0b\r\n"s;
  struct { std::string envio, error, visto; } casos[] = {
      {"USER ana\r\n", "", respuesta},
      {"USER bob\r\n", "expected 'USER ana\\r\\n', got 'USER bob\\r\\n'", ""},
      {"USER ana\n", "expected 'USER ana\\r\\n', got 'USER ana\\n'", ""},
      {"USER ana\r\r\n", "expected 'USER ana\\r\\n', got 'USER ana\\r\\r\\n'", ""},
      {"USER an", "expected 'USER ana\\r\\n', got 'USER an<time limit>'", ""},
  };
  for (auto &k : casos) {
    Servidor s("127.0.1.8", {"< USER ana", "> " + respuesta}, 500);
    Terminal t({"bash", "-c", "exec 3<>/dev/tcp/127.0.1.8/21; printf %s \"$0\" >&3; cat <&3", k.envio});
    EXPECT_EQ(s.fin(), k.error);
    EXPECT_EQ(t.fin(), 0);
    EXPECT_EQ(t.pantalla(), k.visto);  // a wrong line gets no answer, only the end
    EXPECT_EQ(s.lineas.at(0).rfind(k.envio, 0), 0u);
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
