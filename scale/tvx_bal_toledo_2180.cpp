//  Toledo 2180 (balToledo2180); the Ti420 speaks the same. Request: ENQ. The scale answers five
//  lines, each ended by CR; the weight is the 6 characters after the grave accent (0x60):
//    ` 0 1 . 2 5 0 CR
//    1 2 3 4 5 6 7 8
//  Lines 3, 4 and 5 must agree, else the weight is still moving (-1); lines 1 and 2 may differ.
//  There is no integer form: '001250' reads as 1250.
#include "scale/tvx_bal_toledo_2180.h"

#include "scale/tvx_bal.h"

namespace tarvex {

double InterpretarLinhaComCrase(std::string_view linha, char separadorDecimal) {
  const int crase = Posicao("`", linha);
  if (crase == 0) return 0;
  const std::string texto = NormalizarDecimal(Copiar(linha, crase + 1, 6), separadorDecimal);
  return ConverterDecimal(texto, separadorDecimal).value_or(0);
}

double PesoDasUltimasTresIguais(const std::vector<double>& leituras) {
  const std::size_t n = leituras.size();
  if (n < 3 || leituras[n - 3] != leituras[n - 1] || leituras[n - 2] != leituras[n - 1])
    return kPesoInstavel;
  return leituras[n - 1];
}

TTvxBALToledo2180::TTvxBALToledo2180(TTvxBAL* dono) : TTvxBALClass(dono) {
  fpModeloStr = RegistroDoModelo(TTvxBALModelo::balToledo2180).modeloStr;
}

void TTvxBALToledo2180::LeSerial(int MillisecTimeOut) {
  LerEmLinhas(5, MillisecTimeOut, PesoDasUltimasTresIguais);
  RegistrarLeitura();
}

double TTvxBALToledo2180::InterpretarRepostaPeso(const std::string& aResposta) {
  return InterpretarLinhaComCrase(aResposta, SeparadorDecimal());
}

}  // namespace tarvex
