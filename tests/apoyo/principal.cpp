// The main of every test program: into the tests' own network first, while
// this is the only thread, and quelt in a UTF-8 locale unless a test says.
#include <cstdlib>

#include "apoyo.h"

int main(int argc, char **argv)
{
  Entrar_en_espacio();
  setenv("LC_ALL", "C.UTF-8", 1);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
