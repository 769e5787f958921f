#pragma once

#include <string>

#include "scale/tvx_bal_class.h"

namespace tarvex {

// Toledo 2090N (balToledo2090N): weight, tare and a status letter whose meaning depends on the
// tare.
class TTvxBALToledo2090N : public TTvxBALClass {
 public:
  explicit TTvxBALToledo2090N(TTvxBAL* dono);

  double InterpretarRepostaPeso(const std::string& aResposta) override;
};

}  // namespace tarvex
