#pragma once

#include <string>

#include "scale/tvx_bal_class.h"

namespace tarvex {

// Toledo 2090 (balToledo2090): the weight is on the second line of the answer.
class TTvxBALToledo2090 : public TTvxBALClass {
 public:
  explicit TTvxBALToledo2090(TTvxBAL* dono);

  // ENQ without purging first.
  void SolicitarPeso() override;
  double InterpretarRepostaPeso(const std::string& aResposta) override;
};

}  // namespace tarvex
