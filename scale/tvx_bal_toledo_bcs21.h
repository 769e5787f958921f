#pragma once

#include <string>

#include "scale/tvx_bal_class.h"

namespace tarvex {

// Toledo BCS21 (balToledoBCS21): a two-letter status before a signed weight.
class TTvxBALToledoBCS21 : public TTvxBALClass {
 public:
  explicit TTvxBALToledoBCS21(TTvxBAL* dono);

  double InterpretarRepostaPeso(const std::string& aResposta) override;
};

}  // namespace tarvex
