// The tests' own network: a network namespace of their own, its loopback
// up, where their servers take port 21 of any 127.x address, apart from
// every other server of the machine.  An ordinary user enters it through
// a user namespace of their own, mapped there to root.  Root needs none,
// and so keeps the machine's users for the servers that switch to them.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "apoyo.h"

std::string sin_espacio = "not entered";

static bool Escribir_en(const char *fichero, const std::string &texto)
{
  int fd = open(fichero, O_WRONLY);
  bool bien = fd >= 0 && write(fd, texto.data(), texto.size()) == (ssize_t)texto.size();
  if (fd >= 0) close(fd);
  return bien;
}

void Entrar_en_espacio()
{
  uid_t uid = geteuid();
  gid_t gid = getegid();
  if (unshare(uid == 0 ? CLONE_NEWNET : CLONE_NEWUSER | CLONE_NEWNET) != 0) {
    sin_espacio = std::string("unshare: ") + strerror(errno);
    return;
  }
  if (uid != 0 && !(Escribir_en("/proc/self/setgroups", "deny") &&
                    Escribir_en("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                    Escribir_en("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))) {
    sin_espacio = std::string("uid_map: ") + strerror(errno);
    return;
  }
  ifreq lo{};
  strcpy(lo.ifr_name, "lo");
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  bool arriba = ioctl(fd, SIOCGIFFLAGS, &lo) == 0 && (lo.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &lo) == 0);
  sin_espacio = arriba ? "" : std::string("loopback: ") + strerror(errno);
  close(fd);
}
