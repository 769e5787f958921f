#include "tools/simulador/quadros.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "tools/simulador/quadros_toledo.h"

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

using M = TTvxBALModelo;
const std::string kEnq(1, ENQ);

// The multi-line answers go out in pieces, so a read meets lines that are still arriving.
const std::array<PerfilSimulado, 9> kPerfis = {{
    {M::balNenhum, kEnq, QuadroGenerico, 4, 7},
    {M::balGenerica, kEnq, QuadroGenerico, 4, 7},
    {.modelo = M::balToledo,
     .requisicao = kEnq,
     .quadro = QuadroToledoP03,
     .variantes = VariantesToledo()},
    {.modelo = M::balToledo2090, .requisicao = kEnq, .quadro = QuadroToledo2090, .pedaco = 8},
    {.modelo = M::balToledo2180,
     .requisicao = kEnq,
     .quadro = QuadroToledo2180,
     .leitura = LeituraToledo2180,
     .pedaco = 6,
     .emLinhas = true},
    {.modelo = M::balToledo9091_8530_8540,
     .requisicao = kEnq,
     .quadro = QuadroToledo9091,
     .leitura = LeituraToledo9091},
    {.modelo = M::balToledo2090N, .requisicao = kEnq, .quadro = QuadroToledo2090N},
    {.modelo = M::balToledoBCS21,
     .requisicao = kEnq,
     .quadro = QuadroToledoBCS21,
     .leitura = LeituraToledoBCS21},
    {.modelo = M::balToledoTi420,
     .requisicao = kEnq,
     .quadro = QuadroToledo2180,
     .leitura = LeituraToledo2180,
     .pedaco = 6,
     .emLinhas = true},
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

const VarianteQuadro* VarianteDe(const PerfilSimulado& perfil, std::string_view nome) {
  for (const auto& variante : perfil.variantes)
    if (variante.nome == nome) return &variante;
  return nullptr;
}

std::string QuadroLixo() {
  return "#@!?*&%$#@!?\r\n";
}

}  // namespace tarvex::simulacao
