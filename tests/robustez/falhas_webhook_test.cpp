// The webhook endpoint misbehaves while the manual monitor watches a loaded scale: it refuses
// connections, hangs past the client's time-outs, answers 500, answers slowly or trickles its
// answer. The monitor goes on at its pace (each pass costs at most the client's limits), the
// scale is never held while a notification waits, and once the endpoint is back the pending
// weight arrives at the next pass. In-process, so the client's time-outs can be short.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "base/regional.h"
#include "service/balanca.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/logger.h"
#include "service/monitor_peso_thread.h"
#include "service/webhook_service.h"
#include "tests/comum/apoio.h"
#include "tests/comum/receptor_webhook.h"
#include "tests/comum/simulador.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;
using Relogio = std::chrono::steady_clock;

constexpr auto kLimiteTroca = 1000ms;
constexpr auto kIntervalo = 50ms;

enum class Falha { Recusa, Pendura, Erro500, Lenta, Gotejando };

std::ostream& operator<<(std::ostream& saida, Falha falha) {
  const char* nomes[] = {"Recusa", "Pendura", "Erro500", "Lenta", "Gotejando"};
  return saida << nomes[static_cast<int>(falha)];
}

class FalhasDoWebhook : public ::testing::TestWithParam<Falha> {
 protected:
  void SetUp() override {
    DefinirRegional(Regional{});
    DirLogs = pasta_.Caminho().string() + "/";
    LogServico.Definir(std::make_shared<TLogger>(ldFile, DirLogs, ""));
    OpcoesClienteWebhook opcoes;
    opcoes.pausaEntreTentativas = 20ms;
    opcoes.limiteConexao = kLimiteTroca;
    opcoes.limiteTroca = kLimiteTroca;
    OpcoesWebhook.Definir(opcoes);
    TConfigService s;
    s.MonitorarBalancaManual = true;
    s.IntervaloLeituraPesoMonitoraManual = static_cast<int>(kIntervalo.count());
    s.IntervaloPosEnvioPesoAPI = 50;
    ConfigService.Definir(s);
    TConfigWebHook w;
    w.URL = receptor_.Endereco();
    w.EndpointEnvioPeso = "peso";
    ConfigWebHook.Definir(w);
    TConfigBalanca b;
    b.Modelo = 2;
    b.Porta = simulador_.Porta();
    b.BaudRate = 9600;
    b.DataBits = 8;
    b.QtdTentativasLeituraErro = 1;
    b.IntervaloTentativasLeitura = 20;
    b.TimeOutLePeso = 300;
    b.QtdConsistirPesoZeroMonitor = 1;
    b.PesoMinimoEnvioKG = 0.005;
    // Each reading that differs from the last accepted one is sent: with no announcement, the
    // first pass already notifies the load, and a refused notification is repeated every pass.
    b.CompararPesoAnterior = true;
    b.MargemToleranciaPesoKG = 0.0029;
    ConfigBalanca.Definir(b);
    BalancaService.Definir(std::make_shared<TBalancaService>());
  }

  void TearDown() override {
    monitor_.reset();
    if (auto balanca = BalancaService.Retirar()) balanca.reset();
    LogServico.Retirar();
    OpcoesWebhook.Definir({});
    ConfigService.Definir({});
    ConfigBalanca.Definir({});
    ConfigWebHook.Definir({});
  }

  void Aplicar(Falha falha) {
    switch (falha) {
      case Falha::Recusa:
        ConfigWebHook.Alterar([](TConfigWebHook& w) {
          w.URL = "http://127.0.0.1:" + std::to_string(teste::PortaRecusada());
        });
        break;
      case Falha::Pendura:
        receptor_.ResponderPadrao({.pendurar = true});
        break;
      case Falha::Erro500:
        receptor_.ResponderPadrao({.status = 500, .corpo = "erro"});
        break;
      case Falha::Lenta:
        receptor_.ResponderPadrao({.atraso = 200ms});
        break;
      case Falha::Gotejando:
        receptor_.ResponderPadrao({.corpo = std::string(30, '.'), .gotejamento = 100ms});
        break;
    }
  }

  void Restaurar() {
    receptor_.ResponderPadrao({});
    ConfigWebHook.Alterar([&](TConfigWebHook& w) { w.URL = receptor_.Endereco(); });
  }

  // "ocupado" notifications of the scale's weight that arrived after `desde`.
  std::size_t OcupadoDesde(Relogio::time_point desde) const {
    std::size_t n = 0;
    for (const auto& r : receptor_.Recebidas()) {
      if (r.alvo != "/peso" || r.chegada < desde) continue;
      const Json j = Json::parse(r.corpo);
      if (j.value("ocupacaoBalanca", "") == "ocupado" && j.value("peso", 0.0) == 1.25) ++n;
    }
    return n;
  }

  teste::PastaTemporaria pasta_;
  teste::ReceptorWebhook receptor_;
  teste::SimuladorBalancaTeste simulador_{{"--tcp", "0", "--modelo", "2", "--peso", "1.25"}};
  std::unique_ptr<TMonitorarPesoBalancaThread> monitor_;
};

TEST_P(FalhasDoWebhook, MonitorSegueNoRitmoEABalancaNaoEsperaPeloEndpoint) {
  const Falha falha = GetParam();
  Aplicar(falha);
  monitor_ = std::make_unique<TMonitorarPesoBalancaThread>();
  monitor_->Start();
  const auto inicio = Relogio::now();

  // The weight requests of the API get the scale at once, whatever the notification is doing:
  // at most a read of the monitor's goes first, never a wait for the endpoint.
  for (int i = 0; i < 3; ++i) {
    const auto antes = Relogio::now();
    EXPECT_EQ(BalancaService.Obter()->LerPeso("FalhasDoWebhook", true), 1.25);
    EXPECT_LT(Relogio::now() - antes, 900ms) << "read " << i;
    std::this_thread::sleep_for(100ms);
  }
  const long leiturasAntes = simulador_.Requisicoes();
  std::this_thread::sleep_for(600ms);
  const long leituras = simulador_.Requisicoes() - leiturasAntes;

  if (falha == Falha::Lenta) {
    EXPECT_GE(OcupadoDesde(inicio), 1u) << "a slow answer within the limit is accepted";
    EXPECT_GE(leituras, 1) << "after it, the monitor polls the scale at its pace";
    return;
  }
  if (falha == Falha::Erro500)
    EXPECT_GE(leituras, 1) << "an endpoint that answers is online: every pass reads";
  else
    EXPECT_EQ(leituras, 0) << "an endpoint that gives no answer is offline: passes only probe";

  const auto restaurado = Relogio::now();
  Restaurar();
  // One pass ends within the client's limits; the next one probes, reads and notifies.
  EXPECT_TRUE(teste::EsperarAte([&] { return OcupadoDesde(restaurado) >= 1; }, 4s))
      << teste::LerArquivo(LogServico.Obter()->ArquivoDoDia());
  EXPECT_LT(Relogio::now() - restaurado, kLimiteTroca + kIntervalo + 1s);
}

INSTANTIATE_TEST_SUITE_P(Endpoint, FalhasDoWebhook,
                         ::testing::Values(Falha::Recusa, Falha::Pendura, Falha::Erro500,
                                           Falha::Lenta, Falha::Gotejando),
                         [](const auto& caso) {
                           std::ostringstream nome;
                           nome << caso.param;
                           return nome.str();
                         });

}  // namespace
}  // namespace tarvex
