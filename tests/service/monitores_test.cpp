#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <thread>

#include "base/regional.h"
#include "service/balanca.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "service/logger.h"
#include "service/monitor_balanca_thread.h"
#include "service/monitor_peso_thread.h"
#include "service/webhook_service.h"
#include "tests/comum/apoio.h"
#include "tests/comum/receptor_webhook.h"
#include "tests/comum/simulador.h"
#include "tests/service/webhook_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

// The monitors in-process, with short intervals, against a simulated generic scale (weight at
// positions 4 to 10, frames ending in CR LF) and a webhook receiver.
class Monitores : public ::testing::Test {
 protected:
  void SetUp() override {
    DefinirRegional(Regional{});
    DirLogs = pasta_.Caminho().string() + "/";
    LogServico.Definir(std::make_shared<TLogger>(ldFile, DirLogs, ""));
    // Short pauses, but limits a loaded sanitizer run never reaches with a live receiver.
    auto opcoes = teste::OpcoesRapidas();
    opcoes.limiteConexao = 3s;
    opcoes.limiteTroca = 5s;
    OpcoesWebhook.Definir(opcoes);
    TConfigService s;
    s.MonitorarBalancaManual = true;
    s.IntervaloLeituraPesoMonitoraManual = 50;
    s.IntervaloPosEnvioPesoAPI = 50;
    s.IntervaloVerificaBalanca = 100;
    s.PeriodoArmazenamentoLog = 15;
    ConfigService.Definir(s);
    TConfigWebHook w;
    w.URL = receptor_.Endereco();
    w.EndpointEnvioPeso = "peso";
    w.EndpointEnvioStatus = "status";
    ConfigWebHook.Definir(w);
    TConfigBalanca b;
    b.Modelo = 16;
    b.Porta = simulador_.Porta();
    b.BaudRate = 9600;
    b.DataBits = 8;
    b.QtdTentativasLeituraErro = 1;
    b.IntervaloTentativasLeitura = 20;
    b.TimeOutLePeso = 300;
    b.QtdConsistirPesoZeroMonitor = 1;
    b.CaracterTerminator = "#13";
    b.CharCaracterTerminator = 13;
    b.PesoMinimoEnvioKG = 0.005;
    b.MargemToleranciaPesoKG = 0.0029;
    ConfigBalanca.Definir(b);
  }

  void TearDown() override {
    monitorPeso_.reset();
    monitorBalanca_.reset();
    if (auto balanca = BalancaService.Retirar()) balanca.reset();
    LogServico.Retirar();
    OpcoesWebhook.Definir({});
    ConfigService.Definir({});
    ConfigBalanca.Definir({});
    ConfigWebHook.Definir({});
    ServicoPausado = false;
  }

  void CriarBalanca() {
    auto balanca = std::make_shared<TBalancaService>();
    balanca->Balanca().PosIni(4);
    balanca->Balanca().PosFim(7);
    BalancaService.Definir(balanca);
  }

  void IniciarMonitorPeso() {
    monitorPeso_ = std::make_unique<TMonitorarPesoBalancaThread>();
    monitorPeso_->Start();
  }

  // The weight notifications so far, as (ocupacaoBalanca, peso, pesoAnterior).
  std::vector<std::tuple<std::string, double, double>> Pesos() {
    std::vector<std::tuple<std::string, double, double>> pesos;
    for (const auto& r : receptor_.Recebidas()) {
      if (r.alvo != "/peso") continue;
      Json j = Json::parse(r.corpo);
      pesos.emplace_back(j.value("ocupacaoBalanca", ""), j["peso"].get<double>(),
                         j["pesoAnterior"].get<double>());
    }
    return pesos;
  }

  std::size_t Sondas() {
    auto r = receptor_.Recebidas();
    return static_cast<std::size_t>(
        std::count_if(r.begin(), r.end(), [](auto& x) { return x.alvo == "/TesteAPI"; }));
  }

  std::string Log() { return teste::LerArquivo(LogServico.Obter()->ArquivoDoDia()); }

  // Lets the monitor run for a while with the scale as it is.
  static void Aguardar(std::chrono::milliseconds tempo) { std::this_thread::sleep_for(tempo); }

  teste::PastaTemporaria pasta_;
  teste::ReceptorWebhook receptor_;
  teste::SimuladorBalancaTeste simulador_{{"--tcp", "0", "--modelo", "16", "--peso", "12.5"}};
  std::unique_ptr<TMonitorarPesoBalancaThread> monitorPeso_;
  std::unique_ptr<TMonitorBalancaThread> monitorBalanca_;
};

using Notificacoes = std::vector<std::tuple<std::string, double, double>>;

TEST_F(Monitores, OcupacaoAnunciaCargaPresenteEAvisaLivreSoAposZeroConfirmado) {
  CriarBalanca();
  IniciarMonitorPeso();
  ASSERT_TRUE(teste::EsperarAte([&] { return Pesos().size() == 1; }));
  EXPECT_EQ(Pesos(), (Notificacoes{{"ocupado", 0, 12.5}}));

  simulador_.Comando("peso 13");
  Aguardar(600ms);
  EXPECT_EQ(Pesos().size(), 1u) << "a changing load sends nothing";

  simulador_.Comando("peso 0");
  ASSERT_TRUE(teste::EsperarAte([&] { return Pesos().size() == 2; }));
  Aguardar(600ms);
  EXPECT_EQ(Pesos(), (Notificacoes{{"ocupado", 0, 12.5}, {"livre", 0, 12.5}}));

  simulador_.Comando("peso 2");
  ASSERT_TRUE(teste::EsperarAte([&] { return Pesos().size() == 3; }));
  Aguardar(600ms);
  EXPECT_EQ(Pesos().back(), std::make_tuple(std::string("ocupado"), 2.0, 0.0));
  EXPECT_EQ(Pesos().size(), 3u);
  EXPECT_NE(Log().find("Peso lido em TMonitorarPesoBalancaThread: 2.000"), std::string::npos);
}

TEST_F(Monitores, NotificacaoRecusadaERepetidaNaPassagemSeguinte) {
  simulador_.Comando("peso 0");
  CriarBalanca();
  const teste::RespostaReceptor aceita{.status = 200, .corpo = {}};
  const teste::RespostaReceptor recusada{.status = 500, .corpo = "cheio"};
  receptor_.Responder(
      "/peso", std::vector<teste::RespostaReceptor>{aceita, recusada, recusada, recusada, aceita});
  IniciarMonitorPeso();
  ASSERT_TRUE(teste::EsperarAte([&] { return Pesos().size() == 1; }));
  EXPECT_EQ(Pesos()[0], std::make_tuple(std::string("livre"), 0.0, 0.0));
  simulador_.Comando("peso 3");
  // The refused "ocupado" takes the client's three attempts; the next pass sends it again.
  ASSERT_TRUE(teste::EsperarAte([&] { return Pesos().size() >= 5; }));
  Aguardar(500ms);
  auto pesos = Pesos();
  for (std::size_t i = 1; i < pesos.size(); ++i)
    EXPECT_EQ(pesos[i], std::make_tuple(std::string("ocupado"), 3.0, 0.0));
  EXPECT_EQ(pesos.size(), 5u) << "accepted on the fourth send, then quiet";
}

TEST_F(Monitores, ComparacaoEnviaMudancaAcimaDaToleranciaENaoAnuncia) {
  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.CompararPesoAnterior = true; });
  simulador_.Comando("peso 10");
  CriarBalanca();
  const std::size_t sondasAntes = Sondas();
  IniciarMonitorPeso();
  ASSERT_TRUE(teste::EsperarAte([&] { return Pesos().size() == 1; }));
  EXPECT_EQ(Pesos()[0], std::make_tuple(std::string("ocupado"), 10.0, 0.0));
  for (const char* passo : {"peso 10.002", "peso 0", "peso 10.001"}) {
    simulador_.Comando(passo);
    Aguardar(400ms);
  }
  EXPECT_EQ(Pesos().size(), 1u) << "within the tolerance, or emptied: nothing sent";
  simulador_.Comando("peso 10.004");
  ASSERT_TRUE(teste::EsperarAte([&] { return Pesos().size() == 2; }));
  EXPECT_EQ(Pesos()[1], std::make_tuple(std::string("ocupado"), 10.004, 10.0));
  EXPECT_EQ(Sondas(), sondasAntes) << "no announcement, so no probe";
}

TEST_F(Monitores, PassagemPuladaEnquantoUmaLeituraDaApiEstaEmCurso) {
  CriarBalanca();
  LeituraEmAndamento = true;
  ServicoPausado = false;
  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.CompararPesoAnterior = true; });
  IniciarMonitorPeso();
  const long antes = simulador_.Requisicoes();
  Aguardar(500ms);
  EXPECT_EQ(simulador_.Requisicoes(), antes);
  LeituraEmAndamento = false;
  EXPECT_TRUE(teste::EsperarAte([&] { return simulador_.Requisicoes() > antes; }));
}

TEST_F(Monitores, EndpointForaDoArSoRecebeUmaSondaPorPassagem) {
  CriarBalanca();
  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.CompararPesoAnterior = true; });
  ConfigWebHook.Alterar([](TConfigWebHook& w) {
    w.URL = "http://127.0.0.1:" + std::to_string(teste::PortaRecusada());
    w.APIOffline = true;
    w.APIOfflineOld = true;
  });
  IniciarMonitorPeso();
  const long antes = simulador_.Requisicoes();
  Aguardar(500ms);
  EXPECT_EQ(simulador_.Requisicoes(), antes) << "no reading while the endpoint is away";
  ConfigWebHook.Alterar([&](TConfigWebHook& w) { w.URL = receptor_.Endereco(); });
  ASSERT_TRUE(teste::EsperarAte([&] { return Pesos().size() == 1; }));
  EXPECT_NE(Log().find("API(WebHook) está Online"), std::string::npos);
}

TEST_F(Monitores, VigiaReconectaABalancaQueCaiuERegistraAFalhaUmaVez) {
  CriarBalanca();
  ConfigService.Alterar([](TConfigService& s) { s.MonitorarBalancaManual = false; });
  monitorBalanca_ = std::make_unique<TMonitorBalancaThread>();
  monitorBalanca_->Start();
  auto balanca = BalancaService.Obter();
  ASSERT_TRUE(balanca->BalancaAtivo());

  simulador_.Comando("silencio");
  EXPECT_EQ(balanca->LerPeso("TPesoController", true), -9) << "a dead scale is closed";
  ASSERT_TRUE(teste::EsperarAte([&] {
    return receptor_.Quantidade() > 0 && ConfigBalanca.Copia().StatusOld == "Desconectado";
  }));
  Aguardar(500ms);
  const std::string falha = "Erro ao conectar à balança com a porta: " + simulador_.Porta();
  auto log = Log();
  std::size_t primeira = log.find(falha);
  ASSERT_NE(primeira, std::string::npos);
  EXPECT_EQ(log.find(falha, primeira + 1), std::string::npos) << "logged once while it stays away";

  simulador_.Comando("estavel");
  ASSERT_TRUE(teste::EsperarAte([&] { return balanca->BalancaAtivo(); }));
  // The notice is recorded by the receiver a moment after the service has noted it as sent.
  std::vector<std::string> status;
  teste::EsperarAte([&] {
    status.clear();
    for (const auto& r : receptor_.Recebidas())
      if (r.alvo == "/status") status.push_back(Json::parse(r.corpo)["status"]);
    return status.size() >= 3;
  });
  EXPECT_EQ(status, (std::vector<std::string>{"Conectado", "Desconectado", "Conectado"}));
}

TEST_F(Monitores, ParadaNaoEsperaOIntervaloInteiro) {
  ConfigService.Alterar([](TConfigService& s) {
    s.IntervaloVerificaBalanca = 60000;
    s.IntervaloLeituraPesoMonitoraManual = 60000;
  });
  CriarBalanca();
  monitorBalanca_ = std::make_unique<TMonitorBalancaThread>();
  monitorBalanca_->Start();
  IniciarMonitorPeso();
  Aguardar(200ms);
  auto inicio = std::chrono::steady_clock::now();
  monitorPeso_.reset();
  monitorBalanca_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - inicio, 1s);
}

TEST(LimpezaDeLogs, ApagaSoLogsDiretosMaisVelhosQueOPeriodo) {
  teste::PastaTemporaria pasta;
  DirLogs = pasta.Caminho().string() + "/";
  TConfigService s;
  s.PeriodoArmazenamentoLog = 15;
  ConfigService.Definir(s);
  for (const char* nome : {"20250101_Servico.log", "20250101_Balanca.log", "notas.txt"})
    teste::GravarArquivo(pasta / nome, "x");
  std::filesystem::create_directory(pasta / "antigos");
  teste::GravarArquivo(pasta / "antigos" / "velho.log", "x");
  teste::PastaTemporaria pastaDoLog;
  auto logger = std::make_shared<TLogger>(ldFile, pastaDoLog.Caminho().string() + "/", "");
  LogServico.Definir(logger);

  auto agora = std::chrono::system_clock::now();
  TMonitorBalancaThread::LimparLogsAntigos(agora + std::chrono::days(15) + std::chrono::hours(23));
  EXPECT_TRUE(std::filesystem::exists(pasta / "20250101_Servico.log")) << "15 whole days: kept";

  TMonitorBalancaThread::LimparLogsAntigos(agora + std::chrono::days(16) + std::chrono::minutes(1));
  EXPECT_FALSE(std::filesystem::exists(pasta / "20250101_Servico.log"));
  EXPECT_FALSE(std::filesystem::exists(pasta / "20250101_Balanca.log"));
  EXPECT_TRUE(std::filesystem::exists(pasta / "notas.txt"));
  EXPECT_TRUE(std::filesystem::exists(pasta / "antigos" / "velho.log"));
  auto log = teste::LerArquivo(logger->ArquivoDoDia());
  EXPECT_NE(log.find("Log apagado: 20250101_Balanca.log"), std::string::npos);
  EXPECT_NE(log.find("TMonitorBalancaThread.LimparLogsAntigos - Verificado"), std::string::npos);
  LogServico.Retirar();
  ConfigService.Definir({});
}

}  // namespace
}  // namespace tarvex
