// The other six Toledo drivers, each from its table of frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scale/tvx_bal.h"
#include "scale/tvx_bal_toledo_2180.h"
#include "tests/scale/apoio_balanca.h"
#include "tools/simulador/quadros.h"

namespace tarvex {
namespace {

using simulacao::SituacaoBalanca;
using teste::CasoDeQuadro;
using teste::QuadrosDoDriverTest;
using teste::RegionalDeTeste;

const std::string kStx(1, STX), kEtx(1, ETX), kCr(1, CR);

// --- Toledo 2090: the second line, 16 characters in thousandths or 17 in hundredths.
//    STX 1 x _ 0 0 1 2 5 0 0 _ 0 0 0 0
//    1   2 3 4 5 6 7 8 9 0 1 2 3 4 5 6
constexpr auto k2090 = TTvxBALModelo::balToledo2090;

std::string Resposta2090(const std::string& linha) {
  return "TOLEDO\r\n" + linha + "\r\n";
}

std::string Linha2090(char status, const std::string& peso = "0012500",
                      const std::string& fim = " 0000") {
  return kStx + "1" + status + " " + peso + fim;
}

const CasoDeQuadro kQuadros2090[] = {
    {"x: o peso em milésimos", k2090, Resposta2090(Linha2090('x')), ',', 12.5},
    {"X maiúsculo", k2090, Resposta2090(Linha2090('X')), ',', 12.5},
    {"outra letra: o peso", k2090, Resposta2090(Linha2090('a')), ',', 12.5},
    {"r: negativo", k2090, Resposta2090(Linha2090('r')), ',', kPesoNegativo},
    {"R maiúsculo", k2090, Resposta2090(Linha2090('R')), ',', kPesoNegativo},
    {"s: sobrecarga", k2090, Resposta2090(Linha2090('s')), ',', kSobrecarga},
    {"S maiúsculo", k2090, Resposta2090(Linha2090('S')), ',', kSobrecarga},
    {"17 caracteres: centésimos", k2090, Resposta2090(Linha2090('x', "0012500", " 00000")), ',',
     125},
    {"15 caracteres", k2090, Resposta2090(Linha2090('x', "0012500", " 000")), ',', kSemLeitura},
    {"18 caracteres", k2090, Resposta2090(Linha2090('x', "0012500", " 000000")), ',', kSemLeitura},
    {"peso com ponto", k2090, Resposta2090(Linha2090('x', "001.250")), ',', 1.25},
    {"peso com vírgula sob ponto", k2090, Resposta2090(Linha2090('x', "001,250")), '.', 1.25},
    {"peso que não é número", k2090, Resposta2090(Linha2090('x', "00A2500")), ',', kSemLeitura},
    {"sobrecarga com peso ruim", k2090, Resposta2090(Linha2090('s', "00A2500")), ',', kSemLeitura},
    {"STX em segundo", k2090, Resposta2090("1" + kStx + "x 0012500 0000"), ',', 12.5},
    {"sem STX no começo", k2090, Resposta2090("11x 0012500 0000"), ',', kSemLeitura},
    {"linhas por LF", k2090, "TOLEDO\n" + Linha2090('x') + "\n", ',', 12.5},
    {"linhas por CR, sem quebra no fim", k2090, "TOLEDO\r" + Linha2090('x'), ',', 12.5},
    {"primeira linha vazia", k2090, "\r\n" + Linha2090('x'), ',', 12.5},
    {"terceira linha ignorada", k2090, Resposta2090(Linha2090('x')) + "lixo\r\n", ',', 12.5},
    {"peso na primeira linha não conta", k2090, Linha2090('x') + "\r\nTOLEDO\r\n", ',',
     kSemLeitura},
    {"vazia", k2090, "", ',', kSemLeitura},
};

INSTANTIATE_TEST_SUITE_P(Toledo2090, QuadrosDoDriverTest, testing::ValuesIn(kQuadros2090));

TEST(Toledo2090Test, RespostaDeUmaLinhaEUmErroQueALeituraTornaMenos9) {
  TTvxBAL bal;
  bal.Modelo(k2090);
  for (const std::string& resposta :
       {Linha2090('x'), std::string("TOLEDO\r\n"), std::string("#@!?*&%$#@!?\r\n")})
    EXPECT_THROW(bal.InterpretarRepostaPeso(resposta), ErroBalanca) << resposta;
}

// --- Toledo 2180 and Ti420: one line, the 6 characters after the grave accent, decimal only.
//    ` 0 1 . 2 5 0
//    1 2 3 4 5 6 7
std::vector<CasoDeQuadro> QuadrosDeLinhaComCrase(TTvxBALModelo modelo) {
  return {
      {"ponto sob vírgula", modelo, "`01.250", ',', 1.25},
      {"vírgula sob ponto", modelo, "`01,250", '.', 1.25},
      {"sem separador não divide", modelo, "`001250", ',', 1250},
      {"crase no meio", modelo, "xx`01.250 kg", ',', 1.25},
      {"campo curto", modelo, "`1.25", ',', 1.25},
      {"sem crase", modelo, "01.250", ',', 0},
      {"crase no fim", modelo, "01.250`", ',', 0},
      {"campo que não é número", modelo, "`ab.cde", ',', 0},
      {"dois separadores", modelo, "`1.2.50", ',', 0},
      {"vazia", modelo, "", ',', 0},
  };
}

const auto kQuadros2180 = QuadrosDeLinhaComCrase(TTvxBALModelo::balToledo2180);
const auto kQuadrosTi420 = QuadrosDeLinhaComCrase(TTvxBALModelo::balToledoTi420);
INSTANTIATE_TEST_SUITE_P(Toledo2180, QuadrosDoDriverTest, testing::ValuesIn(kQuadros2180));
INSTANTIATE_TEST_SUITE_P(ToledoTi420, QuadrosDoDriverTest, testing::ValuesIn(kQuadrosTi420));

TEST(Toledo2180Test, PesoSoValeQuandoAsTresUltimasLeiturasConcordam) {
  EXPECT_EQ(PesoDasUltimasTresIguais({1.25, 1.26, 1.25, 1.25, 1.25}), 1.25);
  EXPECT_EQ(PesoDasUltimasTresIguais({1.20, 1.22, 1.24, 1.24, 1.24}), 1.24);
  EXPECT_EQ(PesoDasUltimasTresIguais({0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(PesoDasUltimasTresIguais({1.25, 1.25, 1.26, 1.25, 1.25}), kPesoInstavel);
  EXPECT_EQ(PesoDasUltimasTresIguais({1.25, 1.25, 1.25, 1.26, 1.25}), kPesoInstavel);
  EXPECT_EQ(PesoDasUltimasTresIguais({1.25, 1.25, 1.25, 1.25, 1.26}), kPesoInstavel);
}

// The simulator's five-line frames, line by line as the driver reads them.
TEST(Toledo2180Test, QuadrosDoSimuladorLidosLinhaALinha) {
  for (auto modelo : {TTvxBALModelo::balToledo2180, TTvxBALModelo::balToledoTi420}) {
    const simulacao::PerfilSimulado* perfil = simulacao::PerfilSimuladoDe(modelo);
    ASSERT_NE(perfil, nullptr);
    ASSERT_TRUE(perfil->emLinhas);
    TTvxBAL bal;
    bal.Modelo(modelo);
    for (auto situacao : {SituacaoBalanca::Estavel, SituacaoBalanca::Instavel}) {
      for (double peso : {0.0, 1.25, 12.5, 150.005}) {
        const std::string quadro = perfil->quadro(situacao, peso).value();
        SCOPED_TRACE(quadro);
        std::vector<double> leituras;
        for (std::size_t inicio = 0, fim; (fim = quadro.find(CR, inicio)) != std::string::npos;
             inicio = fim + 1)
          leituras.push_back(bal.InterpretarRepostaPeso(quadro.substr(inicio, fim - inicio)));
        EXPECT_EQ(leituras.size(), 5u);
        EXPECT_NEAR(PesoDasUltimasTresIguais(leituras), perfil->leitura(situacao, peso), 1e-9);
      }
    }
  }
}

// --- Toledo 9091, 8530 and 8540: whole kilograms, from 5 when the 4th is a blank, else from 4.
//    STX A B _ 0 0 1 2 5 0
//    1   2 3 4 5 6 7 8 9 0
constexpr auto k9091 = TTvxBALModelo::balToledo9091_8530_8540;

const CasoDeQuadro kQuadros9091[] = {
    {"4º branco: da 5ª, sem dividir", k9091, kStx + "AB 001250", ',', 1250},
    {"com tara e CR depois", k9091, kStx + "AB 001250000000" + kCr, ',', 1250},
    {"4º não branco: da 4ª", k9091, kStx + "AB0001250", ',', 125},
    {"4º letra: não é número", k9091, kStx + "ABC001250", ',', 0},
    {"brancos à esquerda", k9091, kStx + "AB   1250", ',', 1250},
    {"campo curto", k9091, kStx + "AB 12", ',', 12},
    {"campo vazio", k9091, kStx + "AB ", ',', 0},
    {"com ponto não é inteiro", k9091, kStx + "AB 0012.5", ',', 0},
    {"STX em qualquer lugar", k9091, "AB 001250" + kStx, ',', 1250},
    {"sem STX", k9091, "AB 001250", ',', kSemLeitura},
    {"lixo", k9091, "#@!?*&%$#@!?\r\n", ',', kSemLeitura},
    {"vazia", k9091, "", ',', kSemLeitura},
};

INSTANTIATE_TEST_SUITE_P(Toledo9091, QuadrosDoDriverTest, testing::ValuesIn(kQuadros9091));

// --- Toledo 2090N: weight at f+4, tare at f+10 (f = the first STX), status 3rd of the answer.
//    STX 1 x _ 0 0 1 2 5 0 0 0 0 0 0 0 ETX
//    1   2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 17
constexpr auto k2090N = TTvxBALModelo::balToledo2090N;

std::string Quadro2090N(char status, const std::string& tara = "000000",
                        const std::string& peso = "001250") {
  return kStx + "1" + status + " " + peso + tara + kEtx;
}

const CasoDeQuadro kQuadros2090N[] = {
    {"sem tara, status comum", k2090N, Quadro2090N('0'), ',', 1.25},
    {"sem tara, x instável", k2090N, Quadro2090N('x'), ',', kPesoInstavel},
    {"sem tara, X maiúsculo", k2090N, Quadro2090N('X'), ',', kPesoInstavel},
    {"sem tara, r negativo", k2090N, Quadro2090N('r'), ',', kPesoNegativo},
    {"sem tara, s sobrecarga", k2090N, Quadro2090N('s'), ',', kSobrecarga},
    {"sem tara, y é o peso", k2090N, Quadro2090N('y'), ',', 1.25},
    {"tara negativa conta como sem tara", k2090N, Quadro2090N('x', "-00500"), ',', kPesoInstavel},
    {"com tara, y instável", k2090N, Quadro2090N('y', "000500"), ',', kPesoInstavel},
    {"com tara, Y maiúsculo", k2090N, Quadro2090N('Y', "000500"), ',', kPesoInstavel},
    {"com tara, s é zero", k2090N, Quadro2090N('s', "000500"), ',', 0},
    {"com tara, x é o peso", k2090N, Quadro2090N('x', "000500"), ',', 1.25},
    {"com tara, r é o peso", k2090N, Quadro2090N('r', "000500"), ',', 1.25},
    {"peso com ponto", k2090N, Quadro2090N('0', "000000", "01.250"), ',', 1.25},
    {"peso com vírgula sob ponto", k2090N, Quadro2090N('0', "000000", "01,250"), '.', 1.25},
    {"peso que não é número", k2090N, Quadro2090N('0', "000000", "00A250"), ',', 0},
    {"tara que não é número", k2090N, Quadro2090N('0', "00A500"), ',', 0},
    {"sem tara no quadro", k2090N, kStx + "10 001250" + kEtx, ',', 0},
    {"sem peso no quadro", k2090N, kStx + "10 " + kEtx, ',', 0},
    {"sem ETX", k2090N, kStx + "10 001250000000", ',', 1.25},
    {"lixo", k2090N, "#@!?*&%$#@!?\r\n", ',', 0},
    {"vazia", k2090N, "", ',', 0},
};

INSTANTIATE_TEST_SUITE_P(Toledo2090N, QuadrosDoDriverTest, testing::ValuesIn(kQuadros2090N));

TEST(Toledo2090NTest, GuardaOQuadroDaSTXAteAETXComoResposta) {
  TTvxBAL bal;
  bal.Modelo(k2090N);
  EXPECT_DOUBLE_EQ(bal.InterpretarRepostaPeso(Quadro2090N('0') + "\r\n"), 1.25);
  EXPECT_EQ(bal.UltimaResposta(), kStx + "10 001250000000");
}

// --- Toledo BCS21: the field from the last STX up to the CR; status, then 8 characters.
//    STX S + 0 0 0 0 1 . 2 5 CR
//    1   2 3 4 5 6 7 8 9 0 1 12
constexpr auto kBCS21 = TTvxBALModelo::balToledoBCS21;

std::string QuadroBCS21(const std::string& campo) {
  return kStx + campo + kCr;
}

const CasoDeQuadro kQuadrosBCS21[] = {
    {"S+ estável", kBCS21, QuadroBCS21("S+00001.25"), ',', 1.25},
    {"S+ sob ponto", kBCS21, QuadroBCS21("S+00001,25"), '.', 1.25},
    {"s+ minúsculo", kBCS21, QuadroBCS21("s+00012.50"), ',', 12.5},
    {"S- negativo", kBCS21, QuadroBCS21("S-00001.25"), ',', kPesoNegativo},
    {"D+ instável", kBCS21, QuadroBCS21("D+00001.25"), ',', kPesoInstavel},
    {"D- instável", kBCS21, QuadroBCS21("D-00001.25"), ',', kPesoInstavel},
    {"d+ minúsculo", kBCS21, QuadroBCS21("d+00001.25"), ',', kPesoInstavel},
    {"outro status", kBCS21, QuadroBCS21("X+00001.25"), ',', 0},
    {"só 8 caracteres contam", kBCS21, QuadroBCS21("S+00001.25kg"), ',', 1.25},
    {"branco antes do peso", kBCS21, QuadroBCS21("S+ 0001.25"), ',', 1.25},
    {"peso que não é número", kBCS21, QuadroBCS21("S+abcdefgh"), ',', kSemLeitura},
    {"dois separadores", kBCS21, QuadroBCS21("S+0001.2.5"), ',', kSemLeitura},
    {"S+ sem peso", kBCS21, QuadroBCS21("S+"), ',', kSemLeitura},
    {"sem CR vai até o fim", kBCS21, kStx + "S+00001.25", ',', 1.25},
    {"sem STX", kBCS21, "S+00001.25\r", ',', 1.25},
    {"a última STX decide", kBCS21, QuadroBCS21("D+00001.00") + QuadroBCS21("S+00002.50"), ',',
     2.5},
    {"lixo", kBCS21, "#@!?*&%$#@!?\r\n", ',', 0},
    {"vazia", kBCS21, "", ',', 0},
};

INSTANTIATE_TEST_SUITE_P(ToledoBCS21, QuadrosDoDriverTest, testing::ValuesIn(kQuadrosBCS21));

}  // namespace
}  // namespace tarvex
