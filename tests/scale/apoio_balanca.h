#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "base/regional.h"
#include "scale/tvx_bal.h"

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

// One answer frame of a model and what its driver must read from it. Each driver's test file
// keeps a table of these and instantiates QuadrosDoDriverTest with it:
//   INSTANTIATE_TEST_SUITE_P(Toledo, QuadrosDoDriverTest, testing::ValuesIn(kQuadrosToledo));
struct CasoDeQuadro {
  const char* legenda;
  TTvxBALModelo modelo;
  std::string resposta;
  char separador;  // the regional decimal separator in force
  double esperado;
  int posIni = 0;
  int posFim = 0;
};

inline std::ostream& operator<<(std::ostream& saida, const CasoDeQuadro& caso) {
  return saida << RegistroDoModelo(caso.modelo).nome << ": " << caso.legenda;
}

// A fresh component of the case's model reads the frame: the driver's state starts anew.
class QuadrosDoDriverTest : public testing::TestWithParam<CasoDeQuadro> {};

}  // namespace tarvex::teste
