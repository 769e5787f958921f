#pragma once

#include <string>

#include "scale/tvx_bal_class.h"

namespace tarvex {

// Toledo 9091, 8530 and 8540 (balToledo9091_8530_8540): a weight in whole kilograms.
class TTvxBALToledo9091_8530_8540 : public TTvxBALClass {
 public:
  explicit TTvxBALToledo9091_8530_8540(TTvxBAL* dono);

  double InterpretarRepostaPeso(const std::string& aResposta) override;
};

}  // namespace tarvex
