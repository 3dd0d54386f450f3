// A whole run of quelt against the scripted server, driven by a dialogue.
#include <gtest/gtest.h>

#include "apoyo.h"

static size_t Veces(const std::string &en, const std::string &que)
{
  size_t n = 0;
  for (size_t i = en.find(que); i != std::string::npos; i = en.find(que, i + que.size())) n++;
  return n;
}

Resultado Sesion(const std::vector<std::string> &argv, const std::string &ip, const Guion &guion,
                 const Dialogo &dialogo, const std::string &dir)
{
  Servidor s(ip, guion);
  Terminal t(argv, dir);
  std::map<std::string, size_t> esperas;
  for (auto &[espera, respuesta] : dialogo) {
    if (!t.espera(espera)) {
      ADD_FAILURE() << "never shown: '" << Visible(espera) << "'; screen:\n" << Visible(t.pantalla());
      t.cerrar();
      break;
    }
    esperas[espera]++;
    if (!respuesta.empty()) t.escribe(respuesta);
  }
  Resultado r;
  r.estado = t.fin();
  r.pantalla = t.pantalla();
  r.error = s.fin();
  r.lineas = s.lineas;
  r.datos = s.datos;
  for (auto &l : r.lineas)  // a command line ends in CR LF, once
    EXPECT_TRUE(l.size() >= 2 && l.find_first_of("\r\n") == l.size() - 2 && l.substr(l.size() - 2) == "\r\n")
        << "sent: '" << Visible(l) << "'";
  for (auto &[texto, n] : esperas)
    EXPECT_EQ(Veces(r.pantalla, texto), n) << "times shown: '" << Visible(texto) << "'; screen:\n" << Visible(r.pantalla);
  return r;
}

Dialogo Login(const std::string &usuario, const std::string &clave)
{
  return {{"Nombre: ", usuario + "\n"}, {"Clave: ", clave + "\n"}};
}
