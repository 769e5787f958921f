#pragma once

#include <string>
#include <string_view>

#include "scale/tvx_bal_class.h"

namespace tarvex {

// The status letters "C" and "E" of the self-checkout protocols: passed on as readings like the
// other codes.
inline constexpr double kPesoLetraC = -11;
inline constexpr double kPesoLetraE = -12;

// The kinds of frame that a self-checkout Toledo scale sends.
enum class TipoQuadroToledo { Eth, A, B, P03, C };

// The base of the self-checkout Toledo scales: it knows their frame kinds and the status tokens
// that they put in the weight field, and is where their operator commands belong.
class TTvxBALSelfCheckout : public TTvxBALClass {
 public:
  using TTvxBALClass::TTvxBALClass;

 protected:
  // The kind of `resposta`, `s` being the position of its last STX (0 when it has none). The
  // tests run in a fixed order and the first that holds decides; C takes whatever is left.
  static TipoQuadroToledo ReconhecerQuadro(std::string_view resposta, int s);
  // The weight field with its status tokens turned into the letters of the status-letter
  // fallback ("+III,III" unstable, "-III,III" negative, "+SSS,SSS" overload) and every sign
  // removed: a signed weight reads as its magnitude.
  static std::string NormalizarStatus(std::string_view texto);
};

}  // namespace tarvex
