// The Toledo models read through TTvxBAL::LePeso against the simulator: every state each model
// sends, the multi-line models over a pseudo-terminal with their lines arriving in pieces.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>

#include "scale/tvx_bal.h"
#include "tests/comum/apoio.h"
#include "tests/comum/simulador.h"
#include "tools/simulador/quadros.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using simulacao::SituacaoBalanca;
using teste::SimuladorBalancaTeste;

constexpr double kPeso = 12.5;

struct ModeloSimulado {
  TTvxBALModelo modelo;
  bool pseudoTerminal;
  // The answer starts this late, so its pieces are still arriving when the read begins.
  int atrasoMs = 0;
};

std::ostream& operator<<(std::ostream& saida, const ModeloSimulado& caso) {
  return saida << RegistroDoModelo(caso.modelo).nome;
}

std::vector<std::string> Opcoes(TTvxBALModelo modelo, bool pseudoTerminal, int atrasoMs) {
  std::vector<std::string> opcoes{"--modelo", std::to_string(static_cast<int>(modelo)),
                                  "--peso",   "12.5",
                                  "--atraso", std::to_string(atrasoMs)};
  if (pseudoTerminal)
    opcoes.push_back("--pty");
  else
    opcoes.insert(opcoes.end(), {"--tcp", "0"});
  return opcoes;
}

// A component of `modelo` on a simulator of the same model, active until the end of the test.
struct BalancaSimulada {
  BalancaSimulada(TTvxBALModelo modelo, bool pseudoTerminal, int atrasoMs = 0)
      : simulador(Opcoes(modelo, pseudoTerminal, atrasoMs)) {
    bal.Modelo(modelo);
    bal.Porta(simulador.Porta());
    bal.Ativar();
  }
  SimuladorBalancaTeste simulador;
  TTvxBAL bal;
};

class LeituraToledoTest : public testing::TestWithParam<ModeloSimulado> {};

TEST_P(LeituraToledoTest, LePesoDeCadaSituacaoQueOModeloEnvia) {
  const auto [modelo, pseudoTerminal, atrasoMs] = GetParam();
  const simulacao::PerfilSimulado* perfil = simulacao::PerfilSimuladoDe(modelo);
  ASSERT_NE(perfil, nullptr);
  BalancaSimulada balanca(modelo, pseudoTerminal, atrasoMs);
  const std::pair<SituacaoBalanca, const char*> situacoes[] = {
      {SituacaoBalanca::Estavel, "estavel"},
      {SituacaoBalanca::Instavel, "instavel"},
      {SituacaoBalanca::Negativo, "negativo"},
      {SituacaoBalanca::Sobrecarga, "sobrecarga"}};
  int lidas = 0;
  for (const auto& [situacao, comando] : situacoes) {
    if (!perfil->quadro(situacao, kPeso)) continue;
    SCOPED_TRACE(comando);
    ASSERT_EQ(balanca.simulador.Comando(comando), std::string("OK ") + comando);
    EXPECT_DOUBLE_EQ(balanca.bal.LePeso(1000), perfil->leitura(situacao, kPeso));
    ++lidas;
  }
  EXPECT_GE(lidas, 1);
  EXPECT_EQ(balanca.simulador.Requisicoes(), lidas);
}

INSTANTIATE_TEST_SUITE_P(Modelos, LeituraToledoTest,
                         testing::Values(ModeloSimulado{TTvxBALModelo::balToledo, false},
                                         ModeloSimulado{TTvxBALModelo::balToledo2090, true},
                                         ModeloSimulado{TTvxBALModelo::balToledo2180, true, 150},
                                         ModeloSimulado{TTvxBALModelo::balToledo9091_8530_8540,
                                                        false},
                                         ModeloSimulado{TTvxBALModelo::balToledo2090N, false},
                                         ModeloSimulado{TTvxBALModelo::balToledoBCS21, false},
                                         ModeloSimulado{TTvxBALModelo::balToledoTi420, true, 150}));

TEST(LeituraToledoProtocoloTest, LogTrazOProtocoloEOAvisoDeDuasCasasFicaParaAsLeiturasSeguintes) {
  teste::PastaTemporaria pasta;
  BalancaSimulada balanca(TTvxBALModelo::balToledo, false);
  balanca.bal.ArqLOG((pasta / "balanca.log").string());

  EXPECT_DOUBLE_EQ(balanca.bal.LePeso(1000), 12.5);
  ASSERT_EQ(balanca.simulador.Comando("protocolo C"), "OK protocolo");
  EXPECT_DOUBLE_EQ(balanca.bal.LePeso(1000), 12.5);
  ASSERT_EQ(balanca.simulador.Comando("protocolo P03-2casas"), "OK protocolo");
  EXPECT_DOUBLE_EQ(balanca.bal.LePeso(1000), 12.5);
  // The B frame still counts thousandths ('012500'); the driver now divides by 100.
  ASSERT_EQ(balanca.simulador.Comando("protocolo B"), "OK protocolo");
  EXPECT_DOUBLE_EQ(balanca.bal.LePeso(1000), 125);
  EXPECT_EQ(balanca.simulador.Comando("protocolo Z"), "ERRO protocolo desconhecido: Z");

  const std::string log = teste::LerArquivo(pasta / "balanca.log");
  const std::string p03 =
      "\x02"
      "000012500000000\r";
  EXPECT_NE(log.find("              UltimoPesoLido: 12.5 - Resposta: " + p03 +
                     " - Protocolo: Protocolo P03\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" - Protocolo: Protocolo C\r\n"), std::string::npos);
  EXPECT_NE(log.find("UltimoPesoLido: 125 - Resposta: \x02"
                     "012500\x03 - Protocolo: Protocolo B"),
            std::string::npos);
}

// Reads what the scale sent by itself with the driver's own read, no request.
double LerSemPedido(TTvxBAL& bal, int milissegundos) {
  return bal.ComBAL([&](TTvxBALClass& driver) {
    driver.LeSerial(milissegundos);
    return driver.UltimoPesoLido();
  });
}

TEST(LeituraToledo2180Test, SoAsTresUltimasLinhasPrecisamConcordarEUmaLinhaQueFaltaDaMenos9) {
  teste::PastaTemporaria pasta;
  BalancaSimulada balanca(TTvxBALModelo::balToledo2180, true);
  balanca.bal.ArqLOG((pasta / "balanca.log").string());
  ASSERT_EQ(balanca.simulador.Comando("silencio"), "OK silencio");

  ASSERT_EQ(balanca.simulador.Comando("bruto `01.250\\r`01.260\\r`01.250\\r`01.250\\r`01.250\\r"),
            "OK bruto");
  EXPECT_DOUBLE_EQ(LerSemPedido(balanca.bal, 1000), 1.25);
  EXPECT_EQ(balanca.bal.UltimaResposta(), "`01.250");

  ASSERT_EQ(balanca.simulador.Comando("bruto `01.250\\r`01.250\\r`01.250\\r`01.260\\r`01.250\\r"),
            "OK bruto");
  EXPECT_DOUBLE_EQ(LerSemPedido(balanca.bal, 1000), kPesoInstavel);

  ASSERT_EQ(balanca.simulador.Comando("bruto `01.250\\r`01.250\\r`01.250\\r`01.250\\r"),
            "OK bruto");
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_DOUBLE_EQ(LerSemPedido(balanca.bal, 300), kSemLeitura);
  EXPECT_LT(std::chrono::steady_clock::now() - inicio, 900ms) << "one time-out, not five";
  EXPECT_EQ(balanca.bal.UltimaResposta(), "`01.250");

  const std::string log = teste::LerArquivo(pasta / "balanca.log");
  std::size_t linhasRecebidas = 0;
  for (std::size_t i = 0; (i = log.find(" RX <- `01.2", i)) != std::string::npos; ++i)
    ++linhasRecebidas;
  EXPECT_EQ(linhasRecebidas, 14u);
  EXPECT_NE(log.find("              UltimoPesoLido: -1 - Resposta: `01.250\r\n"), std::string::npos)
      << log;
}

TEST(LeituraToledo2090Test, PedidoNaoDescartaOQueJaChegouELixoDaMenos9) {
  BalancaSimulada balanca(TTvxBALModelo::balToledo2090, false);
  ASSERT_EQ(balanca.simulador.Comando("silencio"), "OK silencio");
  ASSERT_EQ(balanca.simulador.Comando("bruto TOLEDO\\r\\n\\x021x 0034500 0000\\r\\n"), "OK bruto");
  ASSERT_TRUE(teste::EsperarAte([&] { return balanca.bal.Device().BytesParaLer() >= 26; }, 3s));
  EXPECT_DOUBLE_EQ(balanca.bal.LePeso(300), 34.5);
  EXPECT_EQ(balanca.simulador.Requisicoes(), 1);

  ASSERT_EQ(balanca.simulador.Comando("lixo"), "OK lixo");
  EXPECT_DOUBLE_EQ(balanca.bal.LePeso(1000), kSemLeitura);
  EXPECT_EQ(balanca.bal.UltimaResposta(), simulacao::QuadroLixo());
}

}  // namespace
}  // namespace tarvex
