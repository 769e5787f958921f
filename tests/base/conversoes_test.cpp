#include "base/conversoes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tarvex {
namespace {

const Regional kPonto{'.', ',', '/', ':'};
const Regional kVirgula{',', '.', '-', '.'};

TEST(LerInteiro, FormasAceitasERecusadas) {
  struct Caso {
    const char* texto;
    std::optional<std::int32_t> esperado;
  };
  const Caso casos[] = {
      {"0", 0},
      {"50994", 50994},
      {"-5", -5},
      {"+7", 7},
      {"  12", 12},
      {"0x1F", 31},
      {"0X1f", 31},
      {"$10", 16},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"2147483648", std::nullopt},
      {"$100000000", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"0x", std::nullopt},
      {"12 ", std::nullopt},
      {"1.5", std::nullopt},
      {"abc", std::nullopt},
      {"1e3", std::nullopt},
  };
  for (const auto& c : casos) EXPECT_EQ(LerInteiro(c.texto), c.esperado) << "'" << c.texto << "'";
}

TEST(LerReal, SeguemOSeparadorDado) {
  struct Caso {
    const char* texto;
    char separador;
    std::optional<double> esperado;
  };
  const Caso casos[] = {
      {"0.0029", '.', 0.0029},
      {"0,0029", ',', 0.0029},
      {" -1.5 ", '.', -1.5},
      {"1E-6", '.', 1e-6},
      {"2,5e3", ',', 2500},
      {"12", '.', 12},
      {".5", '.', 0.5},
      {"0,0029", '.', std::nullopt},
      {"0.0029", ',', std::nullopt},
      {"1,000.5", '.', std::nullopt},
      {"1.2.3", '.', std::nullopt},
      {"", '.', std::nullopt},
      {"abc", '.', std::nullopt},
      {"1e", '.', std::nullopt},
      {"1 kg", '.', std::nullopt},
  };
  for (const auto& c : casos)
    EXPECT_EQ(LerReal(c.texto, c.separador), c.esperado) << "'" << c.texto << "'";
}

TEST(Aparar, RemoveCodigosDeZeroATrintaEDois) {
  EXPECT_EQ(Aparar(std::string("\x02 1,25 \r\n\x03", 10)), "1,25");
  EXPECT_EQ(Aparar(std::string("\0\0", 2)), "");
  EXPECT_EQ(Aparar("a b"), "a b");
  EXPECT_EQ(Aparar("\x7F"), "\x7F");
}

TEST(FormatarGeral, FormaMaisCurtaComQuinzeDigitos) {
  struct Caso {
    double valor;
    int menorExpoenteFixo;
    const char* esperado;
  };
  const Caso casos[] = {
      {0, -5, "0"},
      {12.5, -5, "12.5"},
      {3.025, -5, "3.025"},
      {-9, -5, "-9"},
      {0.1, -5, "0.1"},
      {1.0 / 3, -5, "0.333333333333333"},
      {0.00001, -5, "0.00001"},
      {0.000001, -5, "1E-6"},
      {0.0000015, -5, "1.5E-6"},
      {0.0001, -4, "0.0001"},
      {0.00001, -4, "1E-5"},
      {123456789012345.0, -5, "123456789012345"},
      {1e15, -5, "1E15"},
      {0.0029999, -5, "0.0029999"},
  };
  for (const auto& c : casos)
    EXPECT_EQ(FormatarGeral(c.valor, '.', c.menorExpoenteFixo), c.esperado) << c.valor;
  EXPECT_EQ(FormatarGeral(1.25, ','), "1,25");
}

TEST(FormatarNumero, PadroesComMilharEDecimaisFixos) {
  EXPECT_EQ(FormatarNumero(0.0029, 4, kPonto), "0.0029");
  EXPECT_EQ(FormatarNumero(0.0029, 4, kVirgula), "0,0029");
  EXPECT_EQ(FormatarNumero(0.005, 3, kPonto), "0.005");
  EXPECT_EQ(FormatarNumero(1234567.5, 3, kPonto), "1,234,567.500");
  EXPECT_EQ(FormatarNumero(1234.5, 3, kVirgula), "1.234,500");
  EXPECT_EQ(FormatarNumero(-12.25, 3, kPonto), "-12.250");
  EXPECT_EQ(FormatarNumero(123, 3, kPonto), "123.000");
}

TEST(FormatarDataHora, PadroesUsadosPeloServico) {
  MomentoLocal m{2025, 3, 5, 7, 8, 9, 45};
  EXPECT_EQ(FormatarDataHora("dd-mm-yy hh:nn:ss", m, kPonto), "05-03-25 07:08:09");
  EXPECT_EQ(FormatarDataHora("YYYYMMDD", m, kPonto), "20250305");
  EXPECT_EQ(FormatarDataHora("dd/mm hh:nn:ss:zzz", m, kPonto), "05/03 07:08:09:045");
  EXPECT_EQ(FormatarDataHora("hh:nn:ss:zzz", m, kPonto), "07:08:09:045");
  EXPECT_EQ(FormatarDataHora("dd/mm/yy hh:nn:ss:zzz", m, kVirgula), "05-03-25 07.08.09.045");
}

}  // namespace
}  // namespace tarvex
