#pragma once

#include "base/regional.h"

namespace tarvex::teste {

// Puts the regional separators in force for one test and restores the earlier ones after it.
class RegionalDeTeste {
 public:
  explicit RegionalDeTeste(char separadorDecimal) : anterior_(RegionalAtual()) {
    Regional regional = anterior_;
    regional.separadorDecimal = separadorDecimal;
    regional.separadorMilhar = separadorDecimal == ',' ? '.' : ',';
    DefinirRegional(regional);
  }
  ~RegionalDeTeste() { DefinirRegional(anterior_); }
  RegionalDeTeste(const RegionalDeTeste&) = delete;
  RegionalDeTeste& operator=(const RegionalDeTeste&) = delete;

 private:
  Regional anterior_;
};

}  // namespace tarvex::teste
