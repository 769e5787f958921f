#pragma once

#include <string>

#include "scale/tvx_bal_class.h"

namespace tarvex {

// Toledo Ti420 (balToledoTi420): the five-line protocol of the Toledo 2180.
class TTvxBALToledoTi420 : public TTvxBALClass {
 public:
  explicit TTvxBALToledoTi420(TTvxBAL* dono);

  void LeSerial(int MillisecTimeOut) override;
  double InterpretarRepostaPeso(const std::string& aResposta) override;
};

}  // namespace tarvex
