//  Toledo 2090N (balToledo2090N). Request: ENQ. The frame runs from the first STX up to the
//  first ETX after it (kept as the answer); weight and tare are 6 characters each:
//    STX 1 x _ 0 0 1 2 5 0 0 0 0 0 0 0 ETX      weight 1.25 (thousandths), tare 0
//    1   2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 17
//  Position 3 of the answer, in any case:
//    tare 0 or less:  "x" unstable (-1), "r" negative (-2), "s" overload (-10), else the weight
//    tare above 0:    "y" unstable (-1), "s" 0, else the weight
//  A weight or tare that is missing or no number reads 0.
#include "scale/tvx_bal_toledo_2090n.h"

#include <cctype>

#include "base/conversoes.h"
#include "scale/tvx_bal.h"

namespace tarvex {
namespace {

constexpr std::string_view kSTX = "\x02", kETX = "\x03";

double PesoPeloStatus(char status, double tara, double peso) {
  switch (std::tolower(static_cast<unsigned char>(status))) {
    case 'x':
      return tara > 0 ? peso : kPesoInstavel;
    case 'y':
      return tara > 0 ? kPesoInstavel : peso;
    case 'r':
      return tara > 0 ? peso : kPesoNegativo;
    case 's':
      return tara > 0 ? 0 : kSobrecarga;
    default:
      return peso;
  }
}

}  // namespace

TTvxBALToledo2090N::TTvxBALToledo2090N(TTvxBAL* dono) : TTvxBALClass(dono) {
  fpModeloStr = RegistroDoModelo(TTvxBALModelo::balToledo2090N).modeloStr;
}

double TTvxBALToledo2090N::InterpretarRepostaPeso(const std::string& aResposta) {
  const int f = Posicao(kSTX, aResposta);
  int e = Posicao(kETX, aResposta, f + 1);
  if (e == 0) e = static_cast<int>(aResposta.size()) + 1;
  fpUltimaResposta = Copiar(aResposta, f, e - f);

  const std::string campoPeso = Aparar(Copiar(aResposta, f + 4, 6));
  const std::string campoTara = Aparar(Copiar(aResposta, f + 10, 6));
  if (campoPeso.empty()) return 0;
  const char separador = SeparadorDecimal();
  auto peso = ConverterEscalado(NormalizarDecimal(campoPeso, separador), 1000, separador);
  auto tara = ConverterDecimal(campoTara, separador);
  if (!peso || !tara) return 0;
  const std::string status = Copiar(aResposta, 3, 1);
  return PesoPeloStatus(status.empty() ? ' ' : status.front(), *tara, *peso);
}

}  // namespace tarvex
