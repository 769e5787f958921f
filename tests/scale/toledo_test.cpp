// The self-checkout Toledo driver (balToledo): its frame kinds, status tokens, and the
// two-decimals flag that stays with the driver object.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "scale/tvx_bal.h"
#include "scale/tvx_bal_toledo.h"
#include "tests/scale/apoio_balanca.h"
#include "tools/simulador/quadros.h"

namespace tarvex {
namespace {

using simulacao::SituacaoBalanca;
using teste::CasoDeQuadro;
using teste::QuadrosDoDriverTest;
using teste::RegionalDeTeste;

constexpr auto kToledo = TTvxBALModelo::balToledo;
const std::string kStx(1, STX), kEtx(1, ETX), kCr(1, CR);

//  A: CR 21 after the STX, weight at 3 to 8, the decimals flag in the 9th byte.
//    STX 0 0 0 1 2 5 0 f 0 0 0 0 0 0 0 0 0 0 0 0 CR
//    1   2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 22
std::string QuadroA(const std::string& campo, char flag = '0') {
  return kStx + "0" + campo + flag + std::string(12, '0') + kCr;
}

//  P03: CR 16 after the STX, the decimals flag in the 2nd byte, weight at 5 to 10.
//    STX f 0 0 0 0 1 2 5 0 0 0 0 0 0 0 CR
//    1   2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 17
std::string QuadroP03(const std::string& campo, char flag = '0') {
  return kStx + flag + "00" + campo + "000000" + kCr;
}

//  Eth: "02" after the STX, weight at s+6, ETX at s+60.
std::string QuadroEth(const std::string& campo, int distanciaETX = 60) {
  return kStx + "02" + "abc" + campo +
         std::string(static_cast<std::size_t>(distanciaETX) - 12, '0') + kEtx;
}

std::string QuadroB(const std::string& campo) {
  return kStx + campo + kEtx;
}

std::string QuadroC(const std::string& campo) {
  return kStx + campo + kCr;
}

const CasoDeQuadro kQuadrosToledo[] = {
    {"vazia", kToledo, "", ',', 0},
    {"lixo sem STX nem CR", kToledo, "#@!?*&%$", ',', 0},
    {"lixo com CR", kToledo, "#@!?*&%$#@!?\r\n", ',', 0},
    // B
    {"B inteiro em milésimos", kToledo, QuadroB("001250"), ',', 1.25},
    {"B com ponto sob vírgula", kToledo, QuadroB("1.250"), ',', 1.25},
    {"B com vírgula sob ponto", kToledo, QuadroB("1,250"), '.', 1.25},
    {"B +III,III instável", kToledo, QuadroB("+III,III"), ',', kPesoInstavel},
    {"B -III,III negativo", kToledo, QuadroB("-III,III"), ',', kPesoNegativo},
    {"B +SSS,SSS sobrecarga", kToledo, QuadroB("+SSS,SSS"), ',', kSobrecarga},
    {"B IIIII", kToledo, QuadroB("IIIII"), ',', kPesoInstavel},
    {"B NNNNN", kToledo, QuadroB("NNNNN"), ',', kPesoNegativo},
    {"B SSSSS", kToledo, QuadroB("SSSSS"), ',', kSobrecarga},
    {"B CCCCC", kToledo, QuadroB("CCCCC"), ',', kPesoLetraC},
    {"B EEEEE", kToledo, QuadroB("EEEEE"), ',', kPesoLetraE},
    {"B outra letra", kToledo, QuadroB("XXXXX"), ',', 0},
    {"B sinal some: -001.500", kToledo, QuadroB("-001.500"), ',', 1.5},
    {"B campo vazio", kToledo, QuadroB(""), ',', 0},
    {"B campo de brancos", kToledo, QuadroB("   "), ',', 0},
    {"B lê da última STX", kToledo, kStx + "99" + QuadroB("002500"), ',', 2.5},
    {"B dois separadores falha e cai na letra", kToledo, QuadroB("1.2.5"), ',', 0},
    // C
    {"C com brancos e ponto", kToledo, QuadroC("  1.250"), ',', 1.25},
    {"C kg removido", kToledo, QuadroC("  1.250 kg"), '.', 1.25},
    {"C sem CR lê até o fim", kToledo, kStx + "  2.500", ',', 2.5},
    {"C sem STX", kToledo, "  1.250 kg\r\n", ',', 1.25},
    {"C +III,III", kToledo, QuadroC("+III,III"), ',', kPesoInstavel},
    {"C +SSS,SSS", kToledo, QuadroC("+SSS,SSS kg"), ',', kSobrecarga},
    {"C inteiro", kToledo, QuadroC("1250"), ',', 1.25},
    // P03
    {"P03", kToledo, QuadroP03("001250"), ',', 1.25},
    {"P03 sob ponto", kToledo, QuadroP03("001250"), '.', 1.25},
    {"P03 com aviso de duas casas", kToledo, QuadroP03("001250", '8'), ',', 12.5},
    {"P03 IIIIII", kToledo, QuadroP03("IIIIII"), ',', kPesoInstavel},
    {"P03 NNNNNN", kToledo, QuadroP03("NNNNNN"), ',', kPesoNegativo},
    {"P03 SSSSSS", kToledo, QuadroP03("SSSSSS"), ',', kSobrecarga},
    {"P03 com lixo antes da STX", kToledo, "xy" + QuadroP03("001250"), ',', 1.25},
    {"P03 sem STX, CR na 16ª", kToledo, "abcd001250zzzzz\r", ',', 1.25},
    // CR at 17 exactly; one short of it or one past it, the characters are one C field.
    {"P03 de status abc", kToledo, kStx + "abc001250000000" + kCr, ',', 1.25},
    {"P03 curto demais vira C", kToledo, kStx + "abc00125000000" + kCr, ',', 0},
    {"P03 longo demais vira C", kToledo, kStx + "abc0012500000000" + kCr, ',', 0},
    // A
    {"A", kToledo, QuadroA("001250"), ',', 1.25},
    {"A com aviso de duas casas", kToledo, QuadroA("001250", '8'), ',', 12.5},
    {"A com o bit 3 em outro byte", kToledo, QuadroA("001250", 'H'), ',', 12.5},
    {"A sem o bit 3", kToledo, QuadroA("001250", '7'), ',', 1.25},
    {"A com ponto", kToledo, QuadroA("01.250"), ',', 1.25},
    {"A IIIIII", kToledo, QuadroA("IIIIII"), ',', kPesoInstavel},
    {"A CR na 21ª não é A", kToledo, kStx + "0001250" + std::string(12, '0') + kCr, ',', 0},
    // Eth
    {"Eth", kToledo, QuadroEth("001250"), ',', 1.25},
    {"Eth SSSSSS", kToledo, QuadroEth("SSSSSS"), ',', kSobrecarga},
    {"Eth com ETX antes da 60ª é B", kToledo, QuadroEth("001250", 59), ',', 0},
};

INSTANTIATE_TEST_SUITE_P(Toledo, QuadrosDoDriverTest, testing::ValuesIn(kQuadrosToledo));

template <class Acao>
auto ComToledo(TTvxBAL& bal, Acao&& acao) {
  return bal.ComBAL(
      [&](TTvxBALClass& driver) { return acao(dynamic_cast<TTvxBALToledo&>(driver)); });
}

TEST(ToledoTest, ReconheceOTipoDoQuadroEGuardaOUltimo) {
  RegionalDeTeste regional(',');
  const std::pair<std::string, const char*> casos[] = {
      {QuadroB("001250"), "Protocolo B"},     {QuadroC("  1.250"), "Protocolo C"},
      {QuadroP03("001250"), "Protocolo P03"}, {QuadroA("001250"), "Protocolo A"},
      {QuadroEth("001250"), "Protocolo Eth"},
  };
  for (const auto& [resposta, protocolo] : casos) {
    TTvxBAL bal;
    bal.Modelo(kToledo);
    EXPECT_EQ(ComToledo(bal, [](auto& d) { return d.Protocolo(); }), "Não Definido");
    bal.InterpretarRepostaPeso(resposta);
    EXPECT_EQ(ComToledo(bal, [](auto& d) { return d.Protocolo(); }), protocolo) << resposta;
    // A C field without CR does not confirm its kind: the last one recognised stays.
    bal.InterpretarRepostaPeso(kStx + "  1.250");
    EXPECT_EQ(ComToledo(bal, [](auto& d) { return d.Protocolo(); }), protocolo);
  }
}

TEST(ToledoTest, EthGuardaOQuadroDaSTXAteAETXComoResposta) {
  TTvxBAL bal;
  bal.Modelo(kToledo);
  const std::string quadro = QuadroEth("001250");
  EXPECT_DOUBLE_EQ(bal.InterpretarRepostaPeso("lixo" + quadro + "resto"), 1.25);
  EXPECT_EQ(bal.UltimaResposta(), quadro.substr(0, quadro.size() - 1));
}

// One driver object reads a sequence of answers: once an A or P03 frame has carried the
// two-decimals flag, every later field without separator is divided by 100, of any kind.
TEST(ToledoTest, AvisoDeDuasCasasValeParaAsRespostasSeguintesDoMesmoDriver) {
  struct Passo {
    std::string resposta;
    double esperado;
    int decimais;
  };
  const std::pair<const char*, std::vector<Passo>> sequencias[] = {
      {"A avisa",
       {{QuadroB("001250"), 1.25, 1000},
        {QuadroA("001250", '8'), 12.5, 100},
        {QuadroB("001250"), 12.5, 100},
        {QuadroC("1.250"), 1.25, 100},   // with a separator the divisor does not matter
        {QuadroA("001250"), 12.5, 100},  // a frame without the flag does not undo it
        {QuadroP03("001250"), 12.5, 100}}},
      {"P03 avisa",
       {{QuadroP03("001250"), 1.25, 1000},
        {QuadroP03("001250", '8'), 12.5, 100},
        {QuadroC("1250"), 12.5, 100},
        {QuadroEth("001250"), 12.5, 100}}},
      // '8' (bit 3 set) at the 2nd and the 9th byte of frames of other kinds.
      {"B e C não avisam",
       {{QuadroB("89999888"), 89999.888, 1000},
        {QuadroC("89999888"), 89999.888, 1000},
        {QuadroB("001250"), 1.25, 1000}}},
  };
  RegionalDeTeste regional(',');
  for (const auto& [legenda, passos] : sequencias) {
    SCOPED_TRACE(legenda);
    TTvxBAL bal;
    bal.Modelo(kToledo);
    for (const auto& passo : passos) {
      EXPECT_DOUBLE_EQ(bal.InterpretarRepostaPeso(passo.resposta), passo.esperado)
          << passo.resposta;
      EXPECT_EQ(ComToledo(bal, [](auto& d) { return d.Decimais(); }), passo.decimais);
    }
  }
}

TEST(ToledoTest, TrocaDeModeloComecaUmDriverNovo) {
  TTvxBAL bal;
  bal.Modelo(kToledo);
  bal.InterpretarRepostaPeso(QuadroP03("001250", '8'));
  EXPECT_DOUBLE_EQ(bal.InterpretarRepostaPeso(QuadroB("001250")), 12.5);
  bal.Modelo(TTvxBALModelo::balGenerica);
  bal.Modelo(kToledo);
  EXPECT_DOUBLE_EQ(bal.InterpretarRepostaPeso(QuadroB("001250")), 1.25);
  EXPECT_EQ(ComToledo(bal, [](auto& d) { return d.Protocolo(); }), "Protocolo B");
}

// Only balToledo offers the self-checkout commands; callers find them by the driver's class.
TEST(ToledoTest, SoOToledoEUmSelfCheckout) {
  for (const auto& registro : ModelosBalanca()) {
    if (!registro.criar) continue;
    TTvxBAL bal;
    bal.Modelo(registro.modelo);
    const bool selfCheckout = bal.ComBAL([](TTvxBALClass& driver) {
      return dynamic_cast<TTvxBALSelfCheckout*>(&driver) != nullptr;
    });
    EXPECT_EQ(selfCheckout, registro.modelo == kToledo) << registro.nome;
  }
}

// Every frame kind the simulator plays for balToledo reads, through a driver that has seen no
// other kind, as the weight or the code of its situation.
TEST(ToledoTest, CadaTipoDeQuadroDoSimuladorLeComoEsperado) {
  const simulacao::PerfilSimulado* perfil = simulacao::PerfilSimuladoDe(kToledo);
  ASSERT_NE(perfil, nullptr);
  ASSERT_GE(perfil->variantes.size(), 7u);
  for (char separador : {'.', ','}) {
    RegionalDeTeste regional(separador);
    for (const auto& variante : perfil->variantes) {
      TTvxBAL bal;
      bal.Modelo(kToledo);
      for (auto situacao : {SituacaoBalanca::Estavel, SituacaoBalanca::Instavel,
                            SituacaoBalanca::Negativo, SituacaoBalanca::Sobrecarga}) {
        for (double peso : {0.0, 1.25, 12.5, 150.005}) {
          auto quadro = variante.quadro(situacao, peso);
          ASSERT_TRUE(quadro) << variante.nome;
          SCOPED_TRACE(std::string(variante.nome) + ": " + *quadro);
          EXPECT_NEAR(bal.InterpretarRepostaPeso(*quadro), variante.leitura(situacao, peso), 1e-9);
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarvex
