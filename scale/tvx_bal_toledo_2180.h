#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scale/tvx_bal_class.h"

namespace tarvex {

// One line of a Toledo 2180 or Ti420: the 6 characters after the grave accent, read as a
// decimal number; 0 when there is no accent or no number.
double InterpretarLinhaComCrase(std::string_view linha, char separadorDecimal);
// The last reading when the last three agree (the scale has settled), else unstable.
double PesoDasUltimasTresIguais(const std::vector<double>& leituras);

// Toledo 2180 (balToledo2180): five lines per request, the weight counts once it repeats.
class TTvxBALToledo2180 : public TTvxBALClass {
 public:
  explicit TTvxBALToledo2180(TTvxBAL* dono);

  void LeSerial(int MillisecTimeOut) override;
  double InterpretarRepostaPeso(const std::string& aResposta) override;
};

}  // namespace tarvex
