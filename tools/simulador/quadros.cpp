#include "tools/simulador/quadros.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace tarvex::simulacao {
namespace {

//  Generic frame, the weight field at positions 4 to 10 (PosIni 4, PosFim 7):
//    P S _ _ _ 1 . 2 5 0 _ k g CR LF
//    1 2 3 4 5 6 7 8 9 0 1 2 3 14 15
//  The field holds the weight with three decimals, or a status letter repeated: I unstable,
//  N negative, S overload.
std::optional<std::string> QuadroGenerico(SituacaoBalanca situacao, double peso) {
  std::string campo;
  switch (situacao) {
    case SituacaoBalanca::Estavel: {
      char texto[32];
      std::snprintf(texto, sizeof texto, "%7.3f", std::fabs(peso));
      campo = texto;
      break;
    }
    case SituacaoBalanca::Instavel:
      campo = "IIIIIII";
      break;
    case SituacaoBalanca::Negativo:
      campo = "NNNNNNN";
      break;
    case SituacaoBalanca::Sobrecarga:
      campo = "SSSSSSS";
      break;
  }
  return "PS " + campo.substr(0, 7) + " kg\r\n";
}

const std::array<PerfilSimulado, 2> kPerfis = {{
    {TTvxBALModelo::balNenhum, std::string(1, ENQ), QuadroGenerico, 4, 7},
    {TTvxBALModelo::balGenerica, std::string(1, ENQ), QuadroGenerico, 4, 7},
}};

}  // namespace

double LeituraEsperada(SituacaoBalanca situacao, double peso) {
  switch (situacao) {
    case SituacaoBalanca::Instavel:
      return kPesoInstavel;
    case SituacaoBalanca::Negativo:
      return kPesoNegativo;
    case SituacaoBalanca::Sobrecarga:
      return kSobrecarga;
    case SituacaoBalanca::Estavel:
      break;
  }
  return peso;
}

std::span<const PerfilSimulado> PerfisSimulados() {
  return kPerfis;
}

const PerfilSimulado* PerfilSimuladoDe(TTvxBALModelo modelo) {
  for (const auto& perfil : kPerfis)
    if (perfil.modelo == modelo) return &perfil;
  return nullptr;
}

std::string QuadroLixo() {
  return "#@!?*&%$#@!?\r\n";
}

}  // namespace tarvex::simulacao
