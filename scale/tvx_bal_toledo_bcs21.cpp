//  Toledo BCS21 (balToledoBCS21). Request: ENQ. The field runs from the last STX up to the
//  first CR after it (to the end when there is none), trimmed:
//    STX S + 0 0 0 0 1 . 2 5 CR      "S+" stable: the 8 characters from 3 of the field -> 1.25
//    1   2 3 4 5 6 7 8 9 0 1 12
//  "S-" negative (-2), "D+" or "D-" still moving (-1), any case; anything else 0. A stable
//  field whose weight is no number is no reading (-9). The protocol has no overload.
#include "scale/tvx_bal_toledo_bcs21.h"

#include <cctype>

#include "base/conversoes.h"
#include "scale/tvx_bal.h"

namespace tarvex {
namespace {

constexpr std::string_view kSTX = "\x02", kCR = "\r";

std::string Maiusculas(std::string texto) {
  for (char& c : texto) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return texto;
}

}  // namespace

TTvxBALToledoBCS21::TTvxBALToledoBCS21(TTvxBAL* dono) : TTvxBALClass(dono) {
  fpModeloStr = RegistroDoModelo(TTvxBALModelo::balToledoBCS21).modeloStr;
}

double TTvxBALToledoBCS21::InterpretarRepostaPeso(const std::string& aResposta) {
  if (aResposta.empty()) return 0;
  const int s = UltimaPosicao(kSTX, aResposta);
  const int e = Posicao(kCR, aResposta, s + 1);
  const int quantidade = e > 0 ? e - s - 1 : static_cast<int>(aResposta.size()) - s;
  const char separador = SeparadorDecimal();
  const std::string campo =
      NormalizarDecimal(Aparar(Copiar(aResposta, s + 1, quantidade)), separador);
  const std::string status = Maiusculas(Copiar(campo, 1, 2));
  if (status == "S+") return ConverterDecimal(Copiar(campo, 3, 8), separador).value_or(kSemLeitura);
  if (status == "S-") return kPesoNegativo;
  if (status == "D+" || status == "D-") return kPesoInstavel;
  return 0;
}

}  // namespace tarvex
