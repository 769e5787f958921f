// The shared conversions and the generic interpretation: pure functions of the answer, the
// driver's positions and the decimal separator.
#include <gtest/gtest.h>

#include <string>

#include "scale/tvx_bal.h"
#include "tests/scale/apoio_balanca.h"

namespace tarvex {
namespace {

using teste::CasoDeQuadro;
using teste::QuadrosDoDriverTest;
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

TEST_P(QuadrosDoDriverTest, LeOQuadroComoEsperado) {
  const CasoDeQuadro& caso = GetParam();
  RegionalDeTeste regional(caso.separador);
  TTvxBAL bal;
  bal.Modelo(caso.modelo);
  bal.PosIni(caso.posIni);
  bal.PosFim(caso.posFim);
  EXPECT_DOUBLE_EQ(bal.InterpretarRepostaPeso(caso.resposta), caso.esperado);
}

constexpr auto kGenerica = TTvxBALModelo::balGenerica;

//  Weight at PosIni 6 for PosFim 4 characters:
//    A B C D _ 1 , 2 5 _ k g
//    1 2 3 4 5 6 7 8 9 0 1 2
const CasoDeQuadro kQuadrosGenericos[] = {
    {"vírgula decimal", kGenerica, "ABCD 1,25 kg", ',', 1.25, 6, 4},
    {"ponto vira o separador regional", kGenerica, "ABCD 1.25 kg", ',', 1.25, 6, 4},
    {"vírgula vira o separador regional", kGenerica, "ABCD 1,25 kg", '.', 1.25, 6, 4},
    {"inteiro dividido por 1000", kGenerica, "ABCD 1250 kg", ',', 1.25, 6, 4},
    {"campo longo demais falha e cai na letra '1'", kGenerica, "ABCD 1250 kg", ',', 0, 6, 12},
    {"posições zeradas", kGenerica, "ABCD 1250 kg", ',', 0, 0, 0},
    {"modelo nenhum também é genérico", TTvxBALModelo::balNenhum, "ABCD 1250 kg", ',', 1.25, 6, 4},
    {"resposta vazia", kGenerica, "", ',', 0, 6, 4},
    {"I instável", kGenerica, "ABCD I    kg", ',', kPesoInstavel, 6, 4},
    {"N negativo", kGenerica, "ABCD N    kg", ',', kPesoNegativo, 6, 4},
    {"S sobrecarga", kGenerica, "ABCD S    kg", ',', kSobrecarga, 6, 4},
    {"outra letra", kGenerica, "ABCD X    kg", ',', 0, 6, 4},
    {"campo além do fim", kGenerica, "ABCD 12", '.', 0.012, 6, 10},
    {"dois separadores", kGenerica, "ABCD 1.2.5kg", ',', 0, 6, 5},
};

INSTANTIATE_TEST_SUITE_P(Generica, QuadrosDoDriverTest, testing::ValuesIn(kQuadrosGenericos));

TEST(InterpretacaoGenericaErroTest, BrancosNasPosicoesSaoUmErroQueALeituraTornaMenos9) {
  TTvxBAL bal;
  bal.PosIni(6);
  bal.PosFim(4);
  EXPECT_THROW(bal.InterpretarRepostaPeso(std::string("ABCD \r\n\t kg")), ErroBalanca);
  EXPECT_THROW(bal.InterpretarRepostaPeso(std::string("ABCD")), ErroBalanca);
}

}  // namespace
}  // namespace tarvex
