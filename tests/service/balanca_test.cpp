#include "service/balanca.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "base/regional.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/logger.h"
#include "service/webhook_service.h"
#include "tests/comum/apoio.h"
#include "tests/comum/receptor_webhook.h"
#include "tests/comum/simulador.h"
#include "tests/service/webhook_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using teste::SimuladorBalancaTeste;

constexpr int kGenerica = 16;

// The scale service against a simulated generic scale (weight at positions 4 to 10) and a
// webhook receiver, with short pauses so failing reads cost little.
class ServicoBalanca : public ::testing::Test {
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
    ConfigService.Definir({});
    TConfigWebHook webhook;
    webhook.URL = receptor_.Endereco();
    webhook.EndpointEnvioPeso = "peso";
    webhook.EndpointEnvioStatus = "status";
    ConfigWebHook.Definir(webhook);
    ConfigBalanca.Definir(Config(simulador_.Porta()));
  }

  void TearDown() override {
    servico_.reset();
    LogServico.Retirar();
    OpcoesWebhook.Definir({});
    ConfigBalanca.Definir({});
    ConfigWebHook.Definir({});
  }

  static TConfigBalanca Config(const std::string& porta) {
    TConfigBalanca b;
    b.Modelo = kGenerica;
    b.Porta = porta;
    b.BaudRate = 9600;
    b.DataBits = 8;
    b.QtdTentativasLeituraErro = 2;
    b.IntervaloTentativasLeitura = 20;
    b.TimeOutLePeso = 300;
    b.QtdConsistirPesoZeroMonitor = 2;
    b.CaracterTerminator = "#13";
    b.CharCaracterTerminator = 13;
    b.PesoMinimoEnvioKG = 0.005;
    b.IntervaloMonitorarMs = 50;
    return b;
  }

  // Creates the service (its constructor connects) and points the generic driver at the
  // simulator's weight field; a model change keeps the positions.
  TBalancaService& Criar() {
    servico_ = std::make_unique<TBalancaService>();
    servico_->Balanca().PosIni(4);
    servico_->Balanca().PosFim(7);
    return *servico_;
  }

  std::vector<std::string> Log() {
    std::vector<std::string> mensagens;
    for (const auto& linha : teste::Linhas(teste::LerArquivo(LogServico.Obter()->ArquivoDoDia())))
      mensagens.push_back(linha.size() > 20 ? linha.substr(20) : linha);
    return mensagens;
  }

  long Contar(const std::string& texto) {
    auto log = Log();
    return std::count(log.begin(), log.end(), texto);
  }

  std::vector<teste::RequisicaoRecebida> Status() {
    std::vector<teste::RequisicaoRecebida> status;
    for (auto& r : receptor_.Recebidas())
      if (r.alvo == "/status") status.push_back(r);
    return status;
  }

  teste::PastaTemporaria pasta_;
  teste::ReceptorWebhook receptor_;
  SimuladorBalancaTeste simulador_{{"--tcp", "0", "--modelo", "16", "--peso", "1.25"}};
  std::unique_ptr<TBalancaService> servico_;
};

TEST_F(ServicoBalanca, PrimeiraConexaoRegistraEAvisaConectadoUmaVez) {
  auto& servico = Criar();
  EXPECT_TRUE(servico.BalancaAtivo());
  const std::string linha = "BALANÇA: Serviço conectado com a porta: " + simulador_.Porta() +
                            ". Porta onde a balança está configurada!";
  EXPECT_EQ(Contar(linha), 1);
  EXPECT_EQ(ConfigBalanca.Copia().Status, "Conectado");
  ASSERT_EQ(Status().size(), 1u);
  EXPECT_NE(Status()[0].corpo.find("Conectado"), std::string::npos) << Status()[0].corpo;

  EXPECT_TRUE(servico.ConectarBalanca(false, true, false, true));
  EXPECT_EQ(Contar(linha), 1) << "an open scale is left alone";
  EXPECT_EQ(Status().size(), 1u);
}

TEST_F(ServicoBalanca, BalancaAusenteRegistraAFalhaEAvisaDesconectado) {
  const std::string porta = "TCP:127.0.0.1:" + std::to_string(teste::PortaRecusada());
  ConfigBalanca.Definir(Config(porta));
  auto& servico = Criar();
  EXPECT_FALSE(servico.BalancaAtivo());
  auto log = Log();
  ASSERT_EQ(std::count_if(
                log.begin(), log.end(),
                [](const std::string& l) { return l.starts_with("Erro ao conectar à balança: "); }),
            1)
      << testing::PrintToString(log);
  ASSERT_EQ(Status().size(), 1u);
  EXPECT_NE(Status()[0].corpo.find("Erro ao conectar"), std::string::npos);
  EXPECT_EQ(ConfigBalanca.Copia().Status, "Desconectado");

  EXPECT_FALSE(servico.ConectarBalanca(false, true, false, true));
  EXPECT_EQ(Status().size(), 1u) << "an unchanged status is not notified again";
  auto depois = Log();
  EXPECT_FALSE(servico.ConectarBalanca(false, true, true, true));
  EXPECT_EQ(Log().size(), depois.size()) << "a silent attempt logs nothing";
}

TEST_F(ServicoBalanca, LerPesoDevolvePesoOuCodigoEGuardaAOcupacao) {
  auto& servico = Criar();
  struct Caso {
    const char* comando;
    double esperado;
    const char* ocupacao;
    bool aberta;
  };
  const Caso casos[] = {
      {"peso 1,25", 1.25, "ocupado", true},   {"peso 0", 0, "livre", true},
      {"peso 0.001", 0.001, "ocupado", true}, {"instavel", -1, "ocupado", true},
      {"sobrecarga", -10, "ocupado", true},   {"silencio", -9, "ocupado", false},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.comando);
    simulador_.Comando(c.comando);
    EXPECT_EQ(servico.LerPeso("TPesoController", false), c.esperado);
    EXPECT_EQ(ConfigBalanca.Copia().Ocupacao, c.ocupacao);
    EXPECT_EQ(servico.BalancaAtivo(), c.aberta);
  }
  EXPECT_FALSE(LeituraEmAndamento);
  EXPECT_EQ(ConfigBalanca.Copia().Status, "Desconectado");
  EXPECT_EQ(Contar("TPesoController - Peso recebido: 1.250"), 1);
  EXPECT_EQ(Contar("Peso instável - Tentativa 2: Peso inválido, tentando novamente..."), 1);
  EXPECT_EQ(Contar("TPesoController - Erro: Número máximo de tentativas atingido. Falha ao obter o "
                   "peso."),
            3);

  simulador_.Comando("estavel");
  simulador_.Comando("peso 2");
  EXPECT_EQ(servico.LerPeso("TPesoController", true), 2) << "the next read reopens the scale";
  EXPECT_TRUE(servico.BalancaAtivo());
}

TEST_F(ServicoBalanca, SemTentativasDevolveMenosNoveEFecha) {
  auto& servico = Criar();
  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.QtdTentativasLeituraErro = 0; });
  EXPECT_EQ(servico.LerPeso("TPesoController", false), -9);
  EXPECT_FALSE(servico.BalancaAtivo());
  EXPECT_EQ(Contar("TPesoController - Erro: Número máximo de tentativas atingido. Falha ao obter o "
                   "peso."),
            1);
  EXPECT_EQ(servico.LerPesoMonitora("TMonitorarPesoBalancaThread", false), -9);
}

TEST_F(ServicoBalanca, ConfirmacaoDoZeroPeloTerminadorEPelasRespostasIguais) {
  auto& servico = Criar();
  simulador_.Comando("peso 0");
  EXPECT_EQ(servico.LerPesoMonitora("M", false), 0) << "CR ends every frame; two same answers";

  ConfigBalanca.Alterar([](TConfigBalanca& b) {
    b.CaracterTerminator = "#3";
    b.CharCaracterTerminator = 3;
    b.QtdTentativasLeituraErro = 1;
  });
  EXPECT_EQ(servico.LerPesoMonitora("M", false), -1) << "no ETX in the answer";

  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.CaracterTerminator = ""; });
  EXPECT_EQ(servico.LerPesoMonitora("M", false), 0) << "terminator check off";

  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.CompararPesoAnterior = true; });
  simulador_.Comando("peso 3.5");
  EXPECT_EQ(servico.LerPesoMonitora("M", false), 3.5);
}

TEST_F(ServicoBalanca, ZeroQueMudaDuranteAConfirmacaoERecusado) {
  auto& servico = Criar();
  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.QtdTentativasLeituraErro = 1; });
  simulador_.Comando("peso 0");
  const long antes = simulador_.Requisicoes();
  // Once the first answer is out, the load changes before the confirming read 300 ms later.
  std::thread mudanca([&] {
    teste::EsperarAte([&] { return simulador_.Requisicoes() > antes; });
    simulador_.Comando("peso 0.002");
  });
  double resultado = servico.LerPesoMonitora("M", false);
  mudanca.join();
  EXPECT_EQ(resultado, -1);
}

TEST_F(ServicoBalanca, MonitoramentoDoComponenteEnviaCadaPesoAcimaDoMinimo) {
  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.MonitorarBalanca = true; });
  auto& servico = Criar();
  ASSERT_TRUE(servico.Balanca().MonitorarBalanca());
  simulador_.Comando("peso 4,5");
  simulador_.Comando("continuo 100");
  ASSERT_TRUE(teste::EsperarAte([&] {
    auto r = receptor_.Recebidas();
    return std::count_if(r.begin(), r.end(), [](auto& x) { return x.alvo == "/peso"; }) >= 2;
  }));
  EXPECT_GE(Contar("Peso recebido: 4.500"), 2);

  simulador_.Comando("continuo 0");
  simulador_.Comando("bruto ERRO 42\\r\\n");
  ASSERT_TRUE(teste::EsperarAte([&] {
    return Contar("Erro reportado pela balança: ERRO 42\r\n") +
               Contar("Erro reportado pela balança: ERRO 42") >
           0;
  }));
  EXPECT_TRUE(teste::EsperarAte([&] { return servico.BalancaAtivo(); }))
      << "an error reply closes the scale and opens it again";
}

TEST_F(ServicoBalanca, ProcuraDePortaTentaPortaOldEDeixaVaziaQuandoNadaResponde) {
  auto& servico = Criar();
  ConfigBalanca.Alterar([&](TConfigBalanca& b) {
    b.QtdTentativasLeituraErro = 1;
    b.Porta = "  ";
    b.PortaOld = simulador_.Porta();
  });
  EXPECT_TRUE(servico.TestarPortaBalanca());
  EXPECT_EQ(ConfigBalanca.Copia().Porta, simulador_.Porta());

  ConfigBalanca.Alterar([&](TConfigBalanca& b) {
    b.Porta = "";
    b.PortaOld = "TCP:127.0.0.1:" + std::to_string(teste::PortaRecusada());
  });
  EXPECT_FALSE(servico.TestarPortaBalanca());
  EXPECT_EQ(ConfigBalanca.Copia().Porta, "");

  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.BaudRate = 0; });
  EXPECT_FALSE(servico.TestarPortaBalanca()) << "nothing is tried without baud rate";
}

TEST(ServicoBalancaConcorrente, OitoLeiturasAoMesmoTempoNuncaSeSobrepoem) {
  teste::PastaTemporaria pasta;
  DirLogs = pasta.Caminho().string() + "/";
  SimuladorBalancaTeste simulador(
      {"--tcp", "0", "--modelo", "16", "--peso", "7", "--atraso", "30", "--sobreposicao-fatal"});
  TConfigBalanca b;
  b.Modelo = kGenerica;
  b.Porta = simulador.Porta();
  b.BaudRate = 9600;
  b.DataBits = 8;
  b.QtdTentativasLeituraErro = 1;
  b.IntervaloTentativasLeitura = 10;
  b.TimeOutLePeso = 2000;
  ConfigBalanca.Definir(b);
  ConfigWebHook.Definir({});
  TBalancaService servico;
  servico.Balanca().PosIni(4);
  servico.Balanca().PosFim(7);
  std::vector<std::thread> threads;
  std::atomic<int> lidos{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 2; ++i)
        if (servico.LerPeso("TPesoController", true) == 7) ++lidos;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(lidos, 16);
  EXPECT_EQ(simulador.Sobreposicoes(), 0);
  EXPECT_FALSE(LeituraEmAndamento);
  ConfigBalanca.Definir({});
}

}  // namespace
}  // namespace tarvex
