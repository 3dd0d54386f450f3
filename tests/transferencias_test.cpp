// Listings, downloads and uploads end to end: quelt runs in a terminal,
// in a folder of its own, against the scripted server on 127.0.2.N, which
// connects to the announced port and checks every command line.  A
// transfer that goes ahead gets its closing reply only once quelt has
// closed its end of the data connection, so reading the reply first hangs.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <sys/stat.h>

#include "apoyo.h"

using namespace std::string_literals;
namespace fs = std::filesystem;

// What the screen shows from choosing op to the next choice.
static std::string Visto(char op, const std::string &nombre, const std::string &resto)
{
  return std::string(1, op) + "\n" + (op == '2' ? "" : "Nombre del fichero: " + nombre + "\n") + "200 ok\r\n" +
         resto + Menu();
}
// The server's side of a transfer that goes ahead: sends datos, then
// reads until quelt closes the connection, and only then replies 226.
static Guion Va(const std::string &orden, const std::string &datos = "")
{
  return PORT + Guion{"< " + orden, "> 150 ok\r\n", "dconnect", "dsend " + datos, "dfin", "drecv", "> 226 fin\r\n"};
}

// One session on 127.0.2.n in dir: login, guion and dialogo, then QUIT.
static Resultado Correr(int n, const Guion &guion, const Dialogo &dialogo, const std::string &dir)
{
  return Sesion("127.0.2." + std::to_string(n), Entrada() + guion + QUIT,
                Login() + dialogo + Orden("0\n"), 0, dir);
}

TEST(Transferencias, ListadosTalCualYUnPuertoPorListado)
{
  NECESITA_PUERTO_21();
  const std::string l1023(1023, 'a'), l1024(1024, 'b'), l3000(3000, 'c'), l1022(1022, 'd'), l1021(1021, 'e');
  // As sent, and as shown on a terminal (the same when empty): a CR LF, a
  // C1 control in UTF-8 and a UTF-8 letter cut where a 1023-byte piece ends.
  const std::pair<std::string, std::string> listados[] = {
      {"", ""}, {"-rw 1 uno\r\ndrwx 2 dos\r\n", ""},
      {"nul\0dentro\r\n\nsolo\rcr\r\nsin fin"s, "nul\\x00dentro\r\n\nsolo\\x0dcr\r\nsin fin"},
      {l1023 + "\n" + l1024 + "\r\n" + l3000 + "\r\n" + l3000, ""},
      {"-rw 1 " + RARO + "-rw 1 query \x1b[c\r\n", "-rw 1 " + RARO_VISTO + "-rw 1 query \\x1b[c\r\n"},
      {l1022 + "\r\n" + l1022 + "\xc2\x9b\r\n" + l1021 + "\xe2\x82\xac\r\nfin\r", l1022 + "\r\n" + l1022 + "\\xc2\\x9b\r\n" + l1021 + "\xe2\x82\xac\r\nfin\\x0d"},
  };
  Guion g;
  Dialogo d;
  std::string visto;
  for (auto &[l, v] : listados) {
    g = g + Va("LIST", l);
    d = d + Orden("2\n");
    visto += Visto('2', "", "150 ok\r\n" + (v.empty() ? l : v) + "226 fin\r\n");
  }
  Resultado r = Correr(1, g, d, Carpeta());
  EXPECT_NE(r.pantalla.find(visto), std::string::npos) << Visible(r.pantalla);
  std::vector<std::string> puertos;
  for (auto &l : r.lineas)
    if (l.rfind("PORT ", 0) == 0) puertos.push_back(l);
  ASSERT_EQ(puertos.size(), std::size(listados));
  for (size_t i = 1; i < puertos.size(); i++) EXPECT_NE(puertos[i], puertos[i - 1]);
  EXPECT_EQ(r.datos, Guion(std::size(listados), ""));  // quelt sends nothing on a listing's connection
}

TEST(Transferencias, DescargasYSubidasExactas)
{
  NECESITA_PUERTO_21();
  std::mt19937 azar(4);
  std::string dir = Carpeta(), visto;
  Guion g;
  Dialogo d;
  std::vector<std::string> contenidos;
  for (size_t n : {0, 1, 1023, 1024, 1025, 2049, 3 << 20}) {
    std::string c(n, '\0'), nombre = std::to_string(n);
    for (auto &b : c) b = (char)azar();
    contenidos.push_back(c);
    if (n % 2 == 0)  // an older, longer local file must be emptied first
      std::ofstream(dir + "/b" + nombre) << std::string(4000, 'v');
    std::ofstream(dir + "/s" + nombre, std::ios::binary) << c;
    g = g + Va("RETR b" + nombre, c) + Va("STOR s" + nombre);
    d = d + Orden("4\n", "b" + nombre) + Orden("5\n", "s" + nombre);
    visto += Visto('4', "b" + nombre, "150 ok\r\n226 fin\r\n") + Visto('5', "s" + nombre, "150 ok\r\n226 fin\r\n");
  }
  Resultado r = Correr(2, g, d, dir);
  EXPECT_NE(r.pantalla.find(visto), std::string::npos) << Visible(r.pantalla);
  ASSERT_EQ(r.datos.size(), 2 * contenidos.size());
  for (size_t i = 0; i < contenidos.size(); i++) {
    size_t n = contenidos[i].size();
    EXPECT_TRUE(Leer(dir + "/b" + std::to_string(n)) == contenidos[i]) << "download of " << n << " bytes";
    EXPECT_TRUE(r.datos[2 * i] == "") << "sent on the download of " << n << " bytes";
    EXPECT_TRUE(r.datos[2 * i + 1] == contenidos[i]) << "upload of " << n << " bytes";
  }
}

// Transfers refused or ended early: none may wait for a connection that
// will not come, none may lose one that came, and the next command (HELP)
// gets its own reply.  A download leaves its local file as queda says
// (none: no file at all).
TEST(Transferencias, RechazosYServidoresRapidos)
{
  NECESITA_PUERTO_21();
  struct Caso {
    char op; std::string nombre; Guion servidor; std::string visto;
    std::optional<std::string> queda = {};
    Guion datos = {};  // what each drecv of the server got
  };
  // Another host, 127.0.3.9, connects first; or the server itself connects
  // from another of its addresses (as Twisted's server does).
  auto rechazo = [](const std::string &que, const std::string &ip) {
    return "ERROR en " + que + ": conexion de datos de " + ip + " rechazada: solo se aceptan del servidor 127.0.2.3\n";
  };
  const std::string nunca = "ERROR en accept para get: el servidor ha dado la transferencia por terminada sin abrir la conexion de datos\n";
  std::vector<Caso> casos = {
      {'4', "f", {"< RETR f", "dconnect 127.0.3.9", "dsend intruso", "> 150 ok\r\n", "drecv", "dclose",
                  "dconnect", "dsend del servidor", "dclose", "> 226 fin\r\n"},
       "150 ok\r\n" + rechazo("accept para get", "127.0.3.9") + "226 fin\r\n", "del servidor", {""}},
      {'4', "f", {"< RETR f", "> 150 ok\r\n", "dconnect 127.0.3.9", "drecv", "dclose", "dconnect", "dsend abc", "dclose",
                  "> 226 fin\r\n"},
       "150 ok\r\n" + rechazo("accept para get", "127.0.3.9") + "226 fin\r\n", "abc", {""}},
      {'5', "s", {"< STOR s", "dconnect 127.0.3.9", "> 150 ok\r\n", "drecv", "dclose", "dconnect", "drecv", "> 226 fin\r\n"},
       "150 ok\r\n" + rechazo("accept para put", "127.0.3.9") + "226 fin\r\n", {}, {"", "subida\n"}},
      {'2', "", {"< LIST", "dconnect 127.0.3.9", "dsend \x1b[31mintruso\r\n", "> 150 ok\r\n", "drecv", "dclose",
                 "dconnect", "dsend a\r\n", "dclose", "> 226 fin\r\n"},
       "150 ok\r\n" + rechazo("accept", "127.0.3.9") + "a\r\n226 fin\r\n", {}, {""}},
      {'4', "f", {"< RETR f", "> 150 ok\r\n", "dconnect 127.0.0.1", "dsend datos", "drecv", "> 226 fin\r\n"},
       "150 ok\r\n" + rechazo("accept para get", "127.0.0.1") + "226 fin\r\n" + nunca, {}, {""}},
      // The success comes before the connection, which comes late or never.
      {'4', "f", {"< RETR f", "> 150 ok\r\n226 fin\r\n", "pause 300", "dconnect", "dsend tarde", "dclose"},
       "150 ok\r\n226 fin\r\n", "tarde"},
      {'4', "f", {"< RETR f", "> 150 ok\r\n226 fin\r\n", "pause 1500", "dconnect", "dsend muy tarde", "dclose"},
       "150 ok\r\n226 fin\r\n", "muy tarde"},
      {'5', "s", {"< STOR s", "> 150 ok\r\n226 fin\r\n", "pause 300", "dconnect", "drecv"}, "150 ok\r\n226 fin\r\n", {}, {"subida\n"}},
      {'4', "f", {"< RETR f", "> 150 ok\r\n226 fin\r\n"}, "150 ok\r\n226 fin\r\n" + nunca},
      {'4', "f", {"< RETR f", "> 550 no\r\n"}, "550 no\r\n"},
      {'5', "falta", {}, "ERROR en la apertura del fichero a enviar.\n"},
      {'5', "carpeta", {}, "ERROR en la apertura del fichero a enviar.\n"},
      {'5', "fifo", {}, "ERROR en la apertura del fichero a enviar.\n"},
      {'5', "s", {"< STOR s", "> 553 no\r\n"}, "553 no\r\n"},
      // The server connects, sends and reports before quelt accepts.
      {'4', "f", {"< RETR f", "dconnect", "dsend rapido\0\r\n"s, "dclose", "> 150 ok\r\n226 fin\r\n"},
       "150 ok\r\n226 fin\r\n", "rapido\0\r\n"s},
      {'2', "", {"< LIST", "dconnect", "dsend a\r\nb", "dclose", "> 150 ok\r\n226 fin\r\n"}, "150 ok\r\na\r\nb226 fin\r\n"},
      {'4', "no/f", {"< RETR no/f", "> 150 ok\r\n", "dconnect", "dsend abc", "dclose", "> 226 fin\r\n"},
       "150 ok\r\nERROR en la apertura fichero del fichero a obtener.\n226 fin\r\n"},
  };
  const struct { char op; std::string orden, nombre; } ordenes[] = {{'2', "LIST", ""}, {'4', "RETR f", "f"}, {'5', "STOR s", "s"}};
  for (auto &o : ordenes) {
    for (std::string c : {"425 no", "450 no", "500 no", "226 ya"})
      casos.push_back({o.op, o.nombre, {"< " + o.orden, "> " + c + "\r\n"}, c + "\r\n"});
    casos.push_back({o.op, o.nombre, {"< " + o.orden, "> 150 ok\r\n425 no\r\n"}, "150 ok\r\n425 no\r\n"});
    casos.push_back({o.op, o.nombre, {"< " + o.orden, "> 150 ok\r\n", "pause 200", "> 425 no\r\n"}, "150 ok\r\n425 no\r\n"});
  }
  std::string dir = Carpeta();
  fs::create_directory(dir + "/carpeta");
  mkfifo((dir + "/fifo").c_str(), 0600);
  std::ofstream(dir + "/s") << "subida\n";
  for (auto &k : casos) {
    SCOPED_TRACE(k.op + " "s + k.nombre + ": " + Visible(k.visto));
    fs::remove(dir + "/f");
    Resultado r = Correr(3, PORT + k.servidor + AYUDA, Orden(k.op + "\n"s, k.nombre) + Orden("6\n"), dir);
    EXPECT_NE(r.pantalla.find(Visto(k.op, k.nombre, k.visto) + "6\n214 ayuda\r\n"), std::string::npos) << Visible(r.pantalla);
    if (k.op == '4') {
      EXPECT_EQ(fs::exists(dir + "/" + k.nombre) ? Leer(dir + "/" + k.nombre) : std::optional<std::string>(), k.queda);
    }
    EXPECT_EQ(r.datos, k.datos);
  }
}
