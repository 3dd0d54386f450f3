// A whole run of quelt against the scripted server, driven by a dialogue.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "apoyo.h"

static size_t Veces(const std::string &en, const std::string &que)
{
  size_t n = 0;
  for (size_t i = en.find(que); i != std::string::npos; i = en.find(que, i + que.size())) n++;
  return n;
}

bool Teclear(Terminal &t, const Dialogo &dialogo, int ms)
{
  for (auto &[espera, respuesta] : dialogo) {
    if (!t.espera(espera, ms)) {
      ADD_FAILURE() << "never shown: '" << Visible(espera) << "'; screen:\n" << Visible(t.pantalla());
      return false;
    }
    if (!respuesta.empty()) t.escribe(respuesta);
  }
  return true;
}

Resultado Sesion(const std::string &ip, const Guion &guion, const Dialogo &dialogo, int estado,
                 const std::string &dir, int ms, std::vector<std::string> delante)
{
  Servidor s(ip, guion, 2 * ms);
  delante.insert(delante.end(), {QUELT, ip});
  Terminal t(delante, dir);
  bool tecleado = Teclear(t, dialogo, ms);
  if (!tecleado) t.cerrar();
  Resultado r;
  EXPECT_EQ(t.fin(ms), estado) << Visible(t.pantalla());
  r.pantalla = t.pantalla();
  EXPECT_EQ(s.fin(), "");
  r.lineas = s.lineas;
  r.datos = s.datos;
  for (auto &l : r.lineas)  // a command line ends in CR LF, once
    EXPECT_TRUE(l.size() >= 2 && l.find_first_of("\r\n") == l.size() - 2 && l.substr(l.size() - 2) == "\r\n")
        << "sent: '" << Visible(l) << "'";
  std::map<std::string, size_t> esperas;
  for (auto &paso : dialogo)  // an empty text is met anywhere
    if (tecleado && !paso.first.empty()) esperas[paso.first]++;
  for (auto &[texto, n] : esperas)
    EXPECT_EQ(Veces(r.pantalla, texto), n) << "times shown: '" << Visible(texto) << "'; screen:\n" << Visible(r.pantalla);
  return r;
}

Dialogo Login(const std::string &usuario, const std::string &clave)
{
  return {{"Nombre: ", usuario + "\n"}, {"Clave: ", clave + "\n"}};
}

Dialogo Orden(const std::string &teclas, const std::string &nombre)
{
  Dialogo d = {{"Opcion: ", teclas}};
  if (!nombre.empty()) d.push_back({"Nombre del fichero: ", nombre + "\n"});
  return d;
}

std::string Menu(const std::string &dir, char tipo)
{
  return "\nMENU\n0. Salir.\n1. Cambiar directorio. Directorio actual: " + dir +
         "\n2. Listar archivos\n3. Cambiar BINARIO/ASCII. Actual: " + std::string(1, tipo) +
         "\n4. Traer un archivo.\n5. Enviar un archivo.\n6. Ayuda.\n\nOpcion: ";
}

std::string Carpeta()
{
  static std::vector<std::string> hechas;
  char plantilla[] = "/tmp/queltXXXXXX";
  if (hechas.empty()) std::atexit([] { for (auto &d : hechas) std::filesystem::remove_all(d); });
  return hechas.emplace_back(mkdtemp(plantilla));
}

std::string Leer(const std::string &fichero)
{
  std::ifstream f(fichero, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}
