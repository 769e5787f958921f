//  Toledo 9091, 8530 and 8540 (balToledo9091_8530_8540). Request: ENQ. The answer holds an STX
//  somewhere; the weight is a whole number of kilograms, not divided:
//    STX A B _ 0 0 1 2 5 0 ...           4th a blank: the 6 characters from 5 -> 1250
//    1   2 3 4 5 6 7 8 9 0
//    STX A B C 0 0 1 2 5 ...             4th not blank: the 6 characters from 4 -> 'C00125'
//    1   2 3 4 5 6 7 8 9                 is no number -> 0
//  No STX, or no answer at all, is no reading (-9). The protocol has no status codes.
#include "scale/tvx_bal_toledo_9091_8530_8540.h"

#include "scale/tvx_bal.h"

namespace tarvex {

TTvxBALToledo9091_8530_8540::TTvxBALToledo9091_8530_8540(TTvxBAL* dono) : TTvxBALClass(dono) {
  fpModeloStr = RegistroDoModelo(TTvxBALModelo::balToledo9091_8530_8540).modeloStr;
}

double TTvxBALToledo9091_8530_8540::InterpretarRepostaPeso(const std::string& aResposta) {
  if (aResposta.find(STX) == std::string::npos) return kSemLeitura;
  const int inicio = Copiar(aResposta, 4, 1) == " " ? 5 : 4;
  return ConverterInteiro(Copiar(aResposta, inicio, 6)).value_or(0);
}

}  // namespace tarvex
