#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "base/json_escrita.h"

namespace tarvex {
namespace {

// The largest doubles round up past the double range at 15 digits ("1.79769313486232E308"),
// which a strict parser refuses as an overflow: the whole body would be lost. Found by fuzzing.
TEST(NumeroJsonExtremos, CadaDoubleFinitoVoltaFinitoEProximo) {
  using Limites = std::numeric_limits<double>;
  const double valores[] = {
      Limites::max(),        -Limites::max(),      Limites::min(), Limites::denorm_min(),
      1.797693134862315e308, 9.999999999999999e22, -5e-324};
  for (FormaJson forma : {FormaJson::Webhook, FormaJson::ApiEscapada, FormaJson::ApiSimples}) {
    for (double valor : valores) {
      const std::string texto = NumeroJson(valor, forma);
      SCOPED_TRACE(texto);
      double lido = 0;
      ASSERT_NO_THROW(lido = nlohmann::json::parse(texto).get<double>());
      EXPECT_TRUE(std::isfinite(lido));
      EXPECT_LE(std::fabs(lido - valor), 1e-14 * std::fabs(valor));
    }
  }
  EXPECT_EQ(NumeroJson(Limites::max(), FormaJson::Webhook), "1.79769313486231E308");
  EXPECT_EQ(NumeroJson(-Limites::max(), FormaJson::ApiEscapada), "-1.79769313486231E308");
}

}  // namespace
}  // namespace tarvex
