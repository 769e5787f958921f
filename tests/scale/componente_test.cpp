// Weight reads through the component against the real simulator, on a pseudo-terminal and on
// TCP: the exchange, the traffic log, no answer, and a peer that goes away mid-read.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <string>
#include <thread>

#include "scale/tvx_bal.h"
#include "tests/comum/apoio.h"
#include "tests/comum/simulador.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Relogio = std::chrono::steady_clock;
using teste::SimuladorBalancaTeste;

const std::string kQuadro125 = "PS   1.250 kg\r\n";

long long MilissegundosDesde(Relogio::time_point inicio) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Relogio::now() - inicio).count();
}

// Whether some part of `texto` matches `mascara`, where "#" stands for any digit.
bool ContemPelaMascara(const std::string& texto, const std::string& mascara) {
  for (std::size_t inicio = 0; inicio + mascara.size() <= texto.size(); ++inicio) {
    std::size_t i = 0;
    for (; i < mascara.size(); ++i) {
      char c = texto[inicio + i];
      if (mascara[i] == '#' ? !std::isdigit(static_cast<unsigned char>(c)) : c != mascara[i]) break;
    }
    if (i == mascara.size()) return true;
  }
  return false;
}

// The generic model reading the simulator's frames (weight at positions 4 to 10).
void PrepararGenerica(TTvxBAL& bal, const std::string& porta) {
  bal.Modelo(TTvxBALModelo::balGenerica);
  bal.PosIni(4);
  bal.PosFim(7);
  bal.Porta(porta);
}

// Runs each test on a pseudo-terminal and on TCP.
class ComponenteTest : public testing::TestWithParam<const char*> {
 protected:
  std::vector<std::string> Opcoes(std::vector<std::string> extras = {}) const {
    std::vector<std::string> opcoes = std::string(GetParam()) == "pty"
                                          ? std::vector<std::string>{"--pty"}
                                          : std::vector<std::string>{"--tcp", "0"};
    opcoes.insert(opcoes.end(), extras.begin(), extras.end());
    return opcoes;
  }
  teste::PastaTemporaria pasta_;
};

TEST_P(ComponenteTest, LePesoAbreLeFechaEAvisaComOsValoresDaLeitura) {
  SimuladorBalancaTeste simulador(Opcoes({"--peso", "1.25"}));
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  bal.ArqLOG((pasta_ / "balanca.log").string());
  int avisos = 0;
  double pesoAvisado = 0;
  std::string respostaAvisada;
  bool ativoNoAviso = true;
  bal.OnLePeso([&](double peso, const std::string& resposta) {
    ++avisos;
    pesoAvisado = peso;
    respostaAvisada = resposta;
    ativoNoAviso = bal.Ativo();
  });

  EXPECT_DOUBLE_EQ(bal.LePeso(2000), 1.25);
  EXPECT_EQ(avisos, 1);
  EXPECT_DOUBLE_EQ(pesoAvisado, 1.25);
  EXPECT_EQ(respostaAvisada, kQuadro125);
  EXPECT_EQ(bal.UltimaResposta(), kQuadro125);
  EXPECT_FALSE(bal.Ativo());
  EXPECT_FALSE(ativoNoAviso);
  EXPECT_FALSE(bal.Device().Ativo());
  EXPECT_EQ(simulador.Requisicoes(), 1);

  std::string log = teste::LerArquivo(pasta_ / "balanca.log");
  const std::string hora = "##:##:##:###", data = "-- ##/## " + hora + " - ";
  EXPECT_TRUE(ContemPelaMascara(log, data + "\r\n" + std::string(80, '-') +
                                         "\r\nATIVAR - ##/##/## " + hora +
                                         " - Modelo: Generica - Porta: " + simulador.Porta() +
                                         "         Device: BAUD=9600 DATA=8 "))
      << log;
  EXPECT_TRUE(ContemPelaMascara(log, data + " - " + hora + " TX -> \x05\r\n")) << log;
  EXPECT_TRUE(ContemPelaMascara(log, data + " - " + hora + " RX <- " + kQuadro125 + "\r\n")) << log;
  EXPECT_NE(log.find(" - Resposta: " + kQuadro125 + "\r\n"), std::string::npos);
  EXPECT_NE(log.find("              UltimoPesoLido: 1.25 - Resposta: "), std::string::npos);
}

TEST_P(ComponenteTest, SemRespostaDaMenos9ELogaALinhaDeLeitura) {
  SimuladorBalancaTeste simulador(Opcoes());
  ASSERT_EQ(simulador.Comando("silencio"), "OK silencio");
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  bal.ArqLOG((pasta_ / "balanca.log").string());
  EXPECT_EQ(bal.LePeso(300), kSemLeitura);
  EXPECT_EQ(bal.UltimaResposta(), "");
  EXPECT_FALSE(bal.Ativo());
  std::string log = teste::LerArquivo(pasta_ / "balanca.log");
  EXPECT_NE(log.find(" -               UltimoPesoLido: -9 - Resposta: \r\n"), std::string::npos)
      << log;
}

TEST_P(ComponenteTest, PeerQueSomeNoMeioDaLeituraDaMenos9SemEsperarOPrazo) {
  SimuladorBalancaTeste simulador(Opcoes({"--peso", "1.25", "--atraso", "3000"}));
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  std::thread derruba([&] {
    std::this_thread::sleep_for(400ms);
    simulador.Comando("derrubar");
  });
  auto inicio = Relogio::now();
  EXPECT_EQ(bal.LePeso(5000), kSemLeitura);
  EXPECT_LT(MilissegundosDesde(inicio), 2500);
  derruba.join();
  EXPECT_FALSE(bal.Ativo());
}

TEST_P(ComponenteTest, InstavelRepeteOPedidoAtePrazo) {
  SimuladorBalancaTeste simulador(Opcoes({"--peso", "2"}));
  ASSERT_EQ(simulador.Comando("instavel"), "OK instavel");
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  EXPECT_EQ(bal.LePeso(1500), kPesoInstavel);
  EXPECT_GE(simulador.Requisicoes(), 2);
  ASSERT_EQ(simulador.Comando("estavel"), "OK estavel");
  EXPECT_DOUBLE_EQ(bal.LePeso(600), 2);
}

INSTANTIATE_TEST_SUITE_P(Portas, ComponenteTest, testing::Values("pty", "tcp"));

TEST(ComponenteTcpTest, ConexaoDerrubadaFalhaNoEnvioSeguinteEReabrirReconecta) {
  SimuladorBalancaTeste simulador({"--tcp", "0", "--peso", "3.5"});
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  bal.Ativar();
  EXPECT_DOUBLE_EQ(bal.LePeso(1000), 3.5);
  ASSERT_EQ(simulador.Comando("derrubar").rfind("OK derrubar", 0), 0u);
  // The request of the next read is the send that finds the connection gone.
  EXPECT_THROW(bal.LePeso(1000), ErroDispositivo);
  EXPECT_TRUE(bal.Ativo());
  bal.Desativar();
  EXPECT_DOUBLE_EQ(bal.LePeso(1000), 3.5);
}

TEST(ComponenteTcpTest, AguardarPesoValidoComPrazoZeroNaoEnviaNada) {
  SimuladorBalancaTeste simulador({"--tcp", "0", "--peso", "1"});
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  bal.Ativar();
  EXPECT_EQ(bal.ComBAL([](TTvxBALClass& driver) { return driver.AguardarPesoValido(0, true); }),
            kPesoInstavel);
  EXPECT_EQ(simulador.Requisicoes(), 0);
}

TEST(ComponenteLocalTest, ErroDeAberturaPropagaEDeixaOComponenteComoEstava) {
  TTvxBAL bal;
  bal.Porta("/dev/ttyTarvexNaoExiste");
  bal.MonitorarBalanca(true);
  try {
    bal.LePeso(100);
    ADD_FAILURE();
  } catch (const ErroDispositivo& erro) {
    EXPECT_STREQ(erro.what(), "Porta /dev/ttyTarvexNaoExiste não encontrada");
  }
  EXPECT_FALSE(bal.Ativo());
  EXPECT_TRUE(bal.MonitorarBalanca());
}

TEST(ComponenteLocalTest, GravarLogTratadoNaoVaiParaOArquivo) {
  teste::PastaTemporaria pasta;
  TTvxBAL bal;
  bal.Porta("NULL");
  bal.ArqLOG((pasta / "balanca.log").string());
  std::vector<std::string> linhas;
  bal.OnGravarLog([&](const std::string& linha, bool& tratado) {
    linhas.push_back(linha);
    tratado = linha.find("TX ->") != std::string::npos;
  });
  EXPECT_EQ(bal.LePeso(100), 0);  // the null port answers nothing at once: the generic 0
  std::string log = teste::LerArquivo(pasta / "balanca.log");
  EXPECT_EQ(log.find("TX ->"), std::string::npos);
  EXPECT_NE(log.find("RX <- "), std::string::npos);
  ASSERT_GE(linhas.size(), 3u);
  EXPECT_NE(linhas[1].find("TX ->"), std::string::npos);
}

}  // namespace
}  // namespace tarvex
