//  Toledo Ti420 (balToledoTi420). The protocol of the Toledo 2180 (see its driver): request
//  ENQ, five lines ended by CR, the weight after the grave accent, lines 3 to 5 must agree.
//    ` 0 1 . 2 5 0 CR
//    1 2 3 4 5 6 7 8
#include "scale/tvx_bal_toledo_ti420.h"

#include "scale/tvx_bal.h"
#include "scale/tvx_bal_toledo_2180.h"

namespace tarvex {

TTvxBALToledoTi420::TTvxBALToledoTi420(TTvxBAL* dono) : TTvxBALClass(dono) {
  fpModeloStr = RegistroDoModelo(TTvxBALModelo::balToledoTi420).modeloStr;
}

void TTvxBALToledoTi420::LeSerial(int MillisecTimeOut) {
  LerEmLinhas(5, MillisecTimeOut, PesoDasUltimasTresIguais);
  RegistrarLeitura();
}

double TTvxBALToledoTi420::InterpretarRepostaPeso(const std::string& aResposta) {
  return InterpretarLinhaComCrase(aResposta, SeparadorDecimal());
}

}  // namespace tarvex
