// The scale's line fails under a running ServiceTarvex: the TCP peer resets in the middle of a
// frame, the pseudo-terminal hangs up during a read. The read gives -9, the scale closes, the
// watchdog reopens it once the peer is back, and each change of status reaches the webhook.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <future>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/comum/receptor_webhook.h"
#include "tests/comum/simulador.h"
#include "tests/robustez/servico_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;
using teste::SimuladorBalancaTeste;

class FalhasDaBalanca : public ::testing::Test {
 protected:
  // A Toledo scale (model 2) watched every 200 ms, with short reads and one attempt each.
  std::string Config(const std::string& porta) const {
    return "IntervaloVerificaBalanca=200\n"
           "[Balanca]\nModelo=2\nPorta=" +
           porta +
           "\nQtdTentativasLeituraErro=1\nIntervaloTentativasLeitura=50\nTimeOutLePeso=500\n"
           "[Webhook]\nURL=" +
           receptor_.Endereco() + "\nEndpointEnvioPeso=peso\nEndpointEnvioStatus=status\n";
  }

  // The statuses notified so far, in order.
  std::vector<std::string> Status() const {
    std::vector<std::string> status;
    for (const auto& r : receptor_.Recebidas())
      if (r.alvo == "/status") status.push_back(Json::parse(r.corpo).value("status", "?"));
    return status;
  }

  bool EsperarStatus(const std::vector<std::string>& esperado) const {
    return teste::EsperarAte([&] { return Status() == esperado; }, 15s);
  }

  // A weight read through the API, started once the scale is silent, so that the fault
  // injected next lands while the service waits for the answer.
  std::future<httplib::Result> LerDuranteAFalha(teste::ServicoEmTeste& servico,
                                                SimuladorBalancaTeste& simulador) {
    simulador.Comando("silencio");
    const long antes = simulador.Requisicoes();
    auto leitura = std::async(std::launch::async,
                              [&servico] { return servico.Cliente().Get("/api/v1/peso"); });
    EXPECT_TRUE(teste::EsperarAte([&] { return simulador.Requisicoes() > antes; }));
    return leitura;
  }

  static void EsperarSemLeitura(httplib::Result resposta) {
    ASSERT_TRUE(resposta);
    EXPECT_EQ(resposta->status, 500);
    EXPECT_EQ(Json::parse(resposta->body).value("codigo", 0), -9) << resposta->body;
  }

  static void EsperarPeso(teste::ServicoEmTeste& servico) {
    auto r = servico.Cliente().Get("/api/v1/peso");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, R"({"peso":1.25})");
  }

  teste::ReceptorWebhook receptor_;
};

TEST_F(FalhasDaBalanca, TcpReiniciadoNoMeioDoQuadro) {
  SimuladorBalancaTeste simulador({"--tcp", "0", "--modelo", "2", "--peso", "1.25"});
  teste::ServicoEmTeste servico(Config(simulador.Porta()));
  ASSERT_TRUE(servico.Pronto()) << servico.Proc().Saida();
  ASSERT_TRUE(EsperarStatus({"Conectado"})) << servico.Log();

  auto leitura = LerDuranteAFalha(servico, simulador);
  // The start of a frame, then the connection reset.
  EXPECT_EQ(simulador.Comando("bruto \\x02 001"), "OK bruto");
  EXPECT_EQ(simulador.Comando("derrubar").rfind("OK derrubar", 0), 0u);
  EsperarSemLeitura(leitura.get());

  // The watchdog reconnects at once, but the scale stays silent: Desconectado.
  EXPECT_TRUE(EsperarStatus({"Conectado", "Desconectado"})) << servico.Log();
  simulador.Comando("estavel");
  EXPECT_TRUE(EsperarStatus({"Conectado", "Desconectado", "Conectado"})) << servico.Log();
  EsperarPeso(servico);
}

// The number of a pseudo-terminal ("/dev/pts/7" is 7).
int NumeroDoTerminal(const std::string& caminho) {
  return std::stoi(caminho.substr(caminho.rfind('/') + 1));
}

// A simulator on the pseudo-terminal `numero`, when that number is free: the kernel gives the
// lowest free number, so the free ones below it are held while the simulator opens its own.
std::unique_ptr<SimuladorBalancaTeste> SimuladorNoTerminal(int numero) {
  std::vector<int> ocupados;
  std::unique_ptr<SimuladorBalancaTeste> simulador;
  for (;;) {
    int mestre = ::posix_openpt(O_RDWR | O_NOCTTY);
    char nome[64];
    if (mestre < 0 || ::ptsname_r(mestre, nome, sizeof nome) != 0) break;
    const int achado = NumeroDoTerminal(nome);
    if (achado < numero) {
      ocupados.push_back(mestre);
      continue;
    }
    ::close(mestre);
    if (achado == numero)
      simulador = std::make_unique<SimuladorBalancaTeste>(
          std::vector<std::string>{"--pty", "--modelo", "2", "--peso", "1.25"});
    break;
  }
  for (int fd : ocupados) ::close(fd);
  return simulador;
}

TEST_F(FalhasDaBalanca, TerminalDesligadoDuranteALeitura) {
  SimuladorBalancaTeste simulador({"--pty", "--modelo", "2", "--peso", "1.25"});
  const std::string porta = simulador.Porta();
  teste::ServicoEmTeste servico(Config(porta));
  ASSERT_TRUE(servico.Pronto()) << servico.Proc().Saida();
  ASSERT_TRUE(EsperarStatus({"Conectado"})) << servico.Log();

  auto leitura = LerDuranteAFalha(servico, simulador);
  // The line hangs up; the simulator goes on with another pseudo-terminal.
  EXPECT_NE(simulador.Comando("fechar"), "OK fechar PORTA " + porta);
  EsperarSemLeitura(leitura.get());
  // The port is gone: the watchdog fails to open it.
  EXPECT_TRUE(EsperarStatus({"Conectado", "Desconectado"})) << servico.Log();
  EXPECT_TRUE(servico.LogTem("Erro ao conectar à balança: ")) << servico.Log();

  // A scale comes back on the same port.
  std::unique_ptr<SimuladorBalancaTeste> devolvido;
  for (int tentativa = 0; tentativa < 3 && !devolvido; ++tentativa) {
    devolvido = SimuladorNoTerminal(NumeroDoTerminal(porta));
    if (devolvido && devolvido->Porta() != porta) devolvido.reset();
  }
  if (!devolvido) GTEST_SKIP() << porta << " was taken by another program meanwhile";
  EXPECT_TRUE(EsperarStatus({"Conectado", "Desconectado", "Conectado"})) << servico.Log();
  EsperarPeso(servico);
}

}  // namespace
}  // namespace tarvex
