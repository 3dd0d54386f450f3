// Runs a command in the tests' own network, as the test programs run:
//   en_espacio COMMAND [ARG...]
#include <cstdio>
#include <unistd.h>

#include "apoyo.h"

int main(int argc, char **argv)
{
  if (argc < 2) return 2;
  Entrar_en_espacio();
  if (!sin_espacio.empty()) fprintf(stderr, "en_espacio: no network of our own (%s)\n", sin_espacio.c_str());
  execvp(argv[1], argv + 1);
  perror(argv[1]);
  return 127;
}
