// quelt against real FTP servers from Debian's packages, each started here
// on its own loopback address with a configuration written to a scratch
// folder, and stopped at the end of its test.  One table describes the
// servers; every server goes through the same session in a terminal.
#include <arpa/inet.h>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "apoyo.h"

namespace fs = std::filesystem;
using namespace std::chrono;

// In orden and in the files, @ stands for the server's scratch folder,
// whose raiz/ is the tree served: grande.bin, vacio.bin and sub/, writable.
struct Real {
  const char *nombre, *ip, *usuario, *clave;
  std::vector<std::string> orden, suyos;  // suyos: the users it switches to
  std::vector<std::pair<std::string, std::string>> ficheros;  // written first, mode 600
};
void PrintTo(const Real &r, std::ostream *o) { *o << r.nombre; }

static const Real reales[] = {
    {"pyftpdlib", "127.0.4.1", "ana", "s3creta",
     {"/usr/bin/python3", "-c",
      "from pyftpdlib.authorizers import DummyAuthorizer\n"
      "from pyftpdlib.handlers import FTPHandler\n"
      "from pyftpdlib.servers import FTPServer\n"
      "a = DummyAuthorizer()\n"
      "a.add_user('ana', 's3creta', '@/raiz', perm='elrw')\n"
      "FTPHandler.authorizer = a\n"
      "FTPServer(('127.0.4.1', 21), FTPHandler).serve_forever()\n"},
     {}, {}},
    // Anonymous, as the package's own ftp user, to whom the root of the
    // tree must not be writable.
    {"vsftpd", "127.0.4.2", "anonymous", "ana@",
     {"/usr/sbin/vsftpd", "@/conf"}, {"ftp", "nobody"},
     {{"conf", "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.4.2\nlisten_port=21\n"
               "background=NO\nseccomp_sandbox=NO\nanonymous_enable=YES\nlocal_enable=NO\n"
               "write_enable=YES\nanon_upload_enable=YES\nanon_root=@/raiz\nftp_username=ftp\n"
               "secure_chroot_dir=@/vacio\nvsftpd_log_file=@/registro\n"}}},
    // Unpacked by probar.sh, as its package conflicts with vsftpd's.  A user
    // of its own password file (s3creta), run as nobody and shut in raiz/.
    {"proftpd", "127.0.4.3", "ana", "s3creta",
     {"/opt/quelt-proftpd/usr/sbin/proftpd", "-n", "-c", "@/conf"}, {"nobody"},
     {{"conf", "ServerType standalone\nDefaultAddress 127.0.4.3\nSocketBindTight on\nPort 21\n"
               "UseIPv6 off\nUser nobody\nGroup nogroup\nPidFile @/pid\nScoreboardFile @/marcador\n"
               "SystemLog @/registro\nTransferLog NONE\nWtmpLog off\nUseReverseDNS off\n"
               "DelayEngine off\nAuthOrder mod_auth_file.c\nAuthUserFile @/usuarios\n"
               "RequireValidShell off\nUseFTPUsers off\nDefaultRoot ~\nAllowOverwrite on\n"},
      {"usuarios", "ana:$6$quelt$Dd9HGO3wZp0hLsUIuTNRWFq1k.1P63YDT7np.UIP9MVziB4pVwfUWDG8odsp9LFibKptmvfFci8q"
                   "f4t/Ti.mL0:65534:65534::@/raiz:/bin/sh\n"}}},
};

static std::string Poner(std::string s, const fs::path &dir)
{
  for (size_t i; (i = s.find('@')) != std::string::npos;) s.replace(i, 1, dir.string());
  return s;
}

static bool Escucha(const char *ip)
{
  sockaddr_in a{AF_INET, htons(21), {inet_addr(ip)}, {}};
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  bool si = connect(fd, (sockaddr *)&a, sizeof a) == 0;
  close(fd);
  return si;
}

static void Escribir(const fs::path &p, std::string s, size_t azar = 0, int modo = 0644)
{
  std::mt19937 g(azar);
  for (; azar > 0; azar--) s += (char)g();
  std::ofstream(p, std::ios::binary) << s;
  fs::permissions(p, fs::perms(modo));
}

// The server of one row, running from construction to destruction; what it
// prints goes to @/salida.
struct Arrancado {
  fs::path dir;
  pid_t guarda = -1;
  int fin = -1;
  explicit Arrancado(const Real &r)
  {
    // Taking someone else's server for ours would prove nothing.
    if (Escucha(r.ip)) throw std::runtime_error(std::string("already listening: ") + r.ip + ":21");
    char plantilla[] = "/tmp/quelt-reales.XXXXXX";
    dir = mkdtemp(plantilla);
    for (auto d : {"raiz/sub", "vacio", "local"}) fs::create_directories(dir / d);
    fs::permissions(dir, fs::perms(0755));  // the servers' own users go through it
    fs::permissions(dir / "raiz/sub", fs::perms::all);
    Escribir(dir / "raiz/grande.bin", "", 3 << 20);
    Escribir(dir / "raiz/vacio.bin", "");
    Escribir(dir / "local/subido.bin", "", 5 << 19);
    Escribir(dir / "local/vacio2.bin", "");
    for (auto &[nombre, texto] : r.ficheros) Escribir(dir / nombre, Poner(texto, dir), 0, 0600);
    std::vector<std::string> orden;
    for (auto &a : r.orden) orden.push_back(Poner(a, dir));
    // A keeper process starts the server in a group of its own and stops
    // the group, and removes the folder, once our end of the pipe closes:
    // at the end of the test, or when this process dies in any way.
    int tubo[2];
    if (pipe2(tubo, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if ((guarda = fork()) == 0) {
      pid_t pid = fork();
      if (pid == 0) {
        setpgid(0, 0);
        int fd = open((dir / "salida").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char *> a;
        for (auto &s : orden) a.push_back(s.data());
        a.push_back(nullptr);
        execv(a[0], a.data());
        _exit(127);
      }
      setpgid(pid, pid);
      char c;
      close(tubo[1]);
      while (read(tubo[0], &c, 1) < 0 && errno == EINTR) {}
      kill(-pid, SIGTERM);
      for (int i = 0; i < 100 && waitpid(pid, nullptr, WNOHANG) == 0; i++) usleep(20000);
      kill(-pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      fs::remove_all(dir);
      _exit(0);
    }
    close(tubo[0]);
    fin = tubo[1];
    for (int i = 0; i < 100 && !Escucha(r.ip); i++) std::this_thread::sleep_for(milliseconds(50));
  }
  ~Arrancado()
  {
    close(fin);
    waitpid(guarda, nullptr, 0);
  }
};

// One menu choice: its keys, each after the first typed once a prompt
// ": " shows; then what must show before the menu asks again.
static const struct { std::vector<std::string> teclas, muestra; } pasos[] = {
    {{"6\n"}, {"214 "}},
    {{"3\n"}, {"200 ", "Actual: I\n"}},
    {{"2\n"}, {"grande.bin", "vacio.bin", "sub", "226 "}},
    {{"4\n", "grande.bin\n"}, {"226 "}},
    {{"4\n", "vacio.bin\n"}, {"226 "}},
    {{"1\n", "sub\n"}, {"250 ", "Directorio actual: /sub\n"}},
    {{"5\n", "subido.bin\n"}, {"226 "}},
    {{"5\n", "vacio2.bin\n"}, {"226 "}},
    {{"1\n", "..\n"}, {"250 ", "Directorio actual: /\n"}},
    {{"3\n"}, {"200 ", "Actual: A\n"}},
};

class Servidores : public testing::TestWithParam<Real> {};

// Why a real server that switches to user nombre cannot run here, or "".
static std::string Sin_usuario(const std::string &nombre)
{
  std::ifstream mapa("/proc/self/uid_map");
  long dentro, fuera, cuantos;
  const passwd *p = getpwnam(nombre.c_str());
  if (p == nullptr) return "no user " + nombre + " here";
  while (mapa >> dentro >> fuera >> cuantos)
    if (p->pw_uid >= (uid_t)dentro && p->pw_uid - dentro < (uid_t)cuantos) return "";
  return "no user " + nombre + " in a user namespace that maps only its maker: run as root";
}

TEST_P(Servidores, SesionCompleta)
{
  NECESITA_PUERTO_21();
  const Real &r = GetParam();
  if (!fs::exists(r.orden[0])) GTEST_SKIP() << r.orden[0] << " is missing: bash probar.sh puts it there";
  for (auto &u : r.suyos)
    if (std::string por = Sin_usuario(u); !por.empty()) GTEST_SKIP() << r.nombre << " switches to " << u << ": " << por;
  Arrancado s(r);
  ASSERT_TRUE(Escucha(r.ip)) << r.nombre << " did not start:\n" << Leer(s.dir / "salida");
  auto inicio = steady_clock::now();
  Terminal t({QUELT, r.ip}, (s.dir / "local").string());
  ASSERT_TRUE(Teclear(t, Login(r.usuario, r.clave) + Dialogo{{"Directorio actual: /\n", ""}, {"Opcion: ", ""}}));
  for (auto &p : pasos) {
    SCOPED_TRACE(p.teclas.back());
    size_t desde = t.pantalla().size();
    auto antes = steady_clock::now();
    Dialogo d;
    for (auto &k : p.teclas) d.push_back({d.empty() ? "" : ": ", k});
    ASSERT_TRUE(Teclear(t, d + Dialogo{{"Opcion: ", ""}}));
    // A server that waits for our end of the data connection to close
    // before its closing reply would hold us here for its linger time.
    EXPECT_LT(steady_clock::now() - antes, seconds(1)) << "too slow";
    std::string visto = t.pantalla().substr(desde);
    for (auto &m : p.muestra) EXPECT_NE(visto.find(m), std::string::npos) << "'" << m << "' not in:\n" << visto;
  }
  t.escribe("0\n");
  EXPECT_TRUE(t.espera("221 "));
  EXPECT_EQ(t.fin(), 0) << t.pantalla();
  printf("%s: session of %.2f s\n", r.nombre, duration<double>(steady_clock::now() - inicio).count());
  for (auto [local, remoto] : {std::pair{"grande.bin", "grande.bin"}, {"vacio.bin", "vacio.bin"},
                               {"subido.bin", "sub/subido.bin"}, {"vacio2.bin", "sub/vacio2.bin"}}) {
    EXPECT_TRUE(fs::exists(s.dir / "raiz" / remoto) && fs::exists(s.dir / "local" / local)) << remoto;
    EXPECT_TRUE(Leer(s.dir / "raiz" / remoto) == Leer(s.dir / "local" / local)) << remoto << " differs";
  }
}

INSTANTIATE_TEST_SUITE_P(Reales, Servidores, testing::ValuesIn(reales),
                         [](const testing::TestParamInfo<Real> &i) { return std::string(i.param.nombre); });
