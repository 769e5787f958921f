// The shared conversions and the generic interpretation: pure functions of the answer, the
// driver's positions and the decimal separator.
#include <gtest/gtest.h>

#include <string>

#include "scale/tvx_bal.h"
#include "tests/scale/apoio_balanca.h"

namespace tarvex {
namespace {

using teste::RegionalDeTeste;

TEST(CopiarTest, SegueAsRegrasDePosicaoDeUmTextoDeBytes) {
  EXPECT_EQ(Copiar("ABCDEF", 2, 3), "BCD");
  EXPECT_EQ(Copiar("ABCDEF", 0, 2), "AB");  // start below 1 counts as 1
  EXPECT_EQ(Copiar("ABCDEF", -5, 2), "AB");
  EXPECT_EQ(Copiar("ABCDEF", 3, 0), "");     // count below 1
  EXPECT_EQ(Copiar("ABCDEF", 7, 2), "");     // start beyond the end
  EXPECT_EQ(Copiar("ABCDEF", 5, 99), "EF");  // count past the end stops at the end
  EXPECT_EQ(Posicao("CD", "ABCDCD"), 3);
  EXPECT_EQ(Posicao("CD", "ABCDCD", 4), 5);
  EXPECT_EQ(Posicao("X", "ABC"), 0);
}

TEST(ConversoesTest, InteiroSoAceitaDigitosDecimais) {
  EXPECT_EQ(ConverterInteiro("  -1250"), -1250);
  EXPECT_EQ(ConverterInteiro("+7"), 7);
  EXPECT_FALSE(ConverterInteiro("$10"));  // no hexadecimal forms in a weight
  EXPECT_FALSE(ConverterInteiro("0x10"));
  EXPECT_FALSE(ConverterInteiro("12 "));
  EXPECT_FALSE(ConverterInteiro("2147483648"));
  EXPECT_FALSE(ConverterInteiro(""));
}

TEST(ConversoesTest, EscaladaDecideEntreDecimalEInteiroPeloSeparador) {
  EXPECT_DOUBLE_EQ(*ConverterEscalado("1250", 1000, ','), 1.25);
  EXPECT_DOUBLE_EQ(*ConverterEscalado("1250", 100, ','), 12.5);
  EXPECT_DOUBLE_EQ(*ConverterEscalado("1,25", 1000, ','), 1.25);
  EXPECT_FALSE(ConverterEscalado("1.25", 1000, ','));  // "." is not the separator here
  EXPECT_FALSE(ConverterEscalado("1.250,5", 1000, ','));
  EXPECT_EQ(NormalizarDecimal("1.250,5", ','), "1,250,5");
  EXPECT_FALSE(ConverterDecimal("1,250,5", ','));
}

TEST(ConversoesTest, LetraDeStatusUsaOPrimeiroCaractereAparado) {
  EXPECT_EQ(PesoDaLetra("  IIII", kLetrasINS, 0), kPesoInstavel);
  EXPECT_EQ(PesoDaLetra("N", kLetrasINS, 0), kPesoNegativo);
  EXPECT_EQ(PesoDaLetra("SSS", kLetrasINS, 0), kSobrecarga);
  EXPECT_EQ(PesoDaLetra("X", kLetrasINS, 0), 0);
  EXPECT_EQ(PesoDaLetra("", kLetrasINS, -9), -9);
  EXPECT_EQ(PesoDaLetra("C", {{'C', -11}}, 0), -11);
}

struct CasoGenerico {
  const char* legenda;
  std::string resposta;
  int posIni, posFim;
  char separador;
  double esperado;
};

class InterpretacaoGenericaTest : public testing::TestWithParam<CasoGenerico> {};

TEST_P(InterpretacaoGenericaTest, LeOPesoNasPosicoesConfiguradas) {
  const CasoGenerico& caso = GetParam();
  RegionalDeTeste regional(caso.separador);
  TTvxBAL bal;
  bal.Modelo(TTvxBALModelo::balGenerica);
  bal.PosIni(caso.posIni);
  bal.PosFim(caso.posFim);
  EXPECT_DOUBLE_EQ(bal.InterpretarRepostaPeso(caso.resposta), caso.esperado) << caso.legenda;
}

INSTANTIATE_TEST_SUITE_P(
    Quadros, InterpretacaoGenericaTest,
    testing::Values(
        CasoGenerico{"vírgula decimal", "ABCD 1,25 kg", 6, 4, ',', 1.25},
        CasoGenerico{"ponto vira o separador regional", "ABCD 1.25 kg", 6, 4, ',', 1.25},
        CasoGenerico{"vírgula vira o separador regional", "ABCD 1,25 kg", 6, 4, '.', 1.25},
        CasoGenerico{"inteiro dividido por 1000", "ABCD 1250 kg", 6, 4, ',', 1.25},
        CasoGenerico{"campo longo demais falha e cai na letra '1'", "ABCD 1250 kg", 6, 12, ',', 0},
        CasoGenerico{"posições zeradas", "ABCD 1250 kg", 0, 0, ',', 0},
        CasoGenerico{"resposta vazia", "", 6, 4, ',', 0},
        CasoGenerico{"I instável", "ABCD I    kg", 6, 4, ',', kPesoInstavel},
        CasoGenerico{"N negativo", "ABCD N    kg", 6, 4, ',', kPesoNegativo},
        CasoGenerico{"S sobrecarga", "ABCD S    kg", 6, 4, ',', kSobrecarga},
        CasoGenerico{"outra letra", "ABCD X    kg", 6, 4, ',', 0},
        CasoGenerico{"campo além do fim", "ABCD 12", 6, 10, '.', 0.012},
        CasoGenerico{"dois separadores", "ABCD 1.2.5kg", 6, 5, ',', 0}));

TEST(InterpretacaoGenericaErroTest, BrancosNasPosicoesSaoUmErroQueALeituraTornaMenos9) {
  TTvxBAL bal;
  bal.PosIni(6);
  bal.PosFim(4);
  EXPECT_THROW(bal.InterpretarRepostaPeso(std::string("ABCD \r\n\t kg")), ErroBalanca);
  EXPECT_THROW(bal.InterpretarRepostaPeso(std::string("ABCD")), ErroBalanca);
}

}  // namespace
}  // namespace tarvex
