#include "service/controladores.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/regional.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "service/logger.h"
#include "tests/comum/apoio.h"

namespace tarvex {
namespace {

using teste::GravarArquivo;
using teste::LerArquivo;

class Controladores : public ::testing::Test {
 protected:
  void SetUp() override {
    DefinirRegional(Regional{});
    DirConfigurado = pasta.Caminho().string();
    DefinirCaminhos();
    GravarArquivo(ArqConfigINI, kArquivo);
    ConfigBalanca.Definir({});
    ConfigWebHook.Definir({});
    CarregarConfig();
    CriarLogger();
  }
  void TearDown() override { LogServico.Retirar(); }

  static constexpr const char* kArquivo =
      "[Service]\nPorta=50994\nAtivarLog=S\n"
      "[Balanca]\nIdBalanca=B1\nModelo=2\nPorta=COM3\n"
      "[Webhook]\nURL=http://h/\nToken=t/k\n";

  teste::PastaTemporaria pasta;
};

TEST_F(Controladores, ConsultasDevolvemOsRegistrosNaFormaEscapada) {
  ConfigBalanca.Alterar([](TConfigBalanca& b) {
    b.Status = "Conectado";
    b.Ocupacao = "livre";
    b.IdBalanca = "balança";
  });
  auto balanca = TBalancaController::GetBalanca();
  EXPECT_EQ(balanca.status, 200);
  EXPECT_EQ(balanca.tipo, "application/json");
  EXPECT_EQ(balanca.corpo,
            R"({"IdBalanca":"balan\u00E7a","Modelo":2,"Porta":"COM3","BaudRate":9600,)"
            R"("DataBits":8,"Parity":0,"StopBits":0,"HandShake":0,"AtivarLogTxt":false,)"
            R"("MonitorarBalanca":false,"IntervaloMonitorarMs":200,"QtdTentativasLeituraErro":3,)"
            R"("IntervaloTentativasLeitura":1000,"CompararPesoAnterior":false,)"
            R"("MargemToleranciaPesoKG":0.0029,"PesoMinimoEnvioKG":0.005,"TimeOutLePeso":3000,)"
            R"("Status":"Conectado","Ocupacao":"livre","QtdConsistirPesoZeroMonitor":2,)"
            R"("CaracterTerminator":"#3"})");
  EXPECT_EQ(TWebhookController::GetWebhook().corpo,
            R"({"IdIntegracao":"","URL":"http:\/\/h\/","Token":"t\/k","EndpointEnvioPeso":"",)"
            R"("EndpointEnvioStatus":""})");
  EXPECT_EQ(TServiceController::GetService().corpo,
            R"({"Versao":")" + VersaoExecutavel() +
                R"(","AtivarLog":true,"MonitorarBalancaManual":false,)"
                R"("IntervaloLeituraPesoMonitoraManual":300,"IntervaloPosEnvioPesoAPI":1500,)"
                R"("IntervaloVerificaBalanca":5000,"PeriodoArmazenamentoLog":15})");
}

TEST_F(Controladores, ServiceComObjetoVazioTomaOsPadroesEGravaSoASecao) {
  auto r = TServiceController::CadastrarService("{}");
  EXPECT_EQ(r.status, 201);
  EXPECT_EQ(r.corpo, R"({"mensagem":"Configura\u00E7\u00E3o do Service salva com sucesso."})");
  auto s = ConfigService.Copia();
  EXPECT_FALSE(s.AtivarLog);
  EXPECT_FALSE(s.MonitorarBalancaManual);
  EXPECT_EQ(s.IntervaloLeituraPesoMonitoraManual, 300);
  EXPECT_EQ(s.Porta, 50994);
  EXPECT_EQ(LerArquivo(ArqConfigINI),
            "[Service]\nPorta=50994\nAtivarLog=N\nMonitorarBalancaManual=N\n"
            "IntervaloLeituraPesoMonitoraManual=300\nIntervaloPosEnvioPesoAPI=1500\n"
            "IntervaloVerificaBalanca=5000\nPeriodoArmazenamentoLog=15\n"
            "[Balanca]\nIdBalanca=B1\nModelo=2\nPorta=COM3\n"
            "[Webhook]\nURL=http://h/\nToken=t/k\n");
}

TEST_F(Controladores, ConversoesDosMembros) {
  struct Caso {
    const char* corpo;
    int status;
    bool ativarLog;
    int intervalo;
  };
  const Caso casos[] = {
      {R"({"AtivarLog":true,"IntervaloPosEnvioPesoAPI":12})", 201, true, 12},
      {R"({"AtivarLog":false,"IntervaloPosEnvioPesoAPI":"700"})", 201, false, 700},
      {R"({"AtivarLog":0,"IntervaloPosEnvioPesoAPI":null})", 201, false, 1500},
      {R"({"AtivarLog":2.5,"IntervaloPosEnvioPesoAPI":-3})", 201, true, 1500},
      {R"({"AtivarLog":"True"})", 201, true, 1500},
      {R"({"AtivarLog":"false"})", 201, false, 1500},
      {R"({"AtivarLog":"1"})", 201, true, 1500},
      {R"({"ativarlog":true})", 201, false, 1500},
      {R"({"AtivarLog":"sim"})", 500, false, 0},
      {R"({"AtivarLog":[]})", 500, false, 0},
      {R"({"IntervaloPosEnvioPesoAPI":1.5})", 500, false, 0},
      {R"({"IntervaloPosEnvioPesoAPI":"abc"})", 500, false, 0},
      {R"({"IntervaloPosEnvioPesoAPI":true})", 500, false, 0},
      {R"({"IntervaloPosEnvioPesoAPI":99999999999})", 500, false, 0},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.corpo);
    auto r = TServiceController::CadastrarService(c.corpo);
    EXPECT_EQ(r.status, c.status) << r.corpo;
    if (c.status != 201) {
      EXPECT_TRUE(r.corpo.starts_with(R"({"erro":")")) << r.corpo;
      continue;
    }
    EXPECT_EQ(ConfigService.Copia().AtivarLog, c.ativarLog);
    EXPECT_EQ(ConfigService.Copia().IntervaloPosEnvioPesoAPI, c.intervalo);
  }
}

TEST_F(Controladores, BalancaAplicaPadroesEResponde201NaFormaSimples) {
  auto r = TBalancaController::CadastrarBalanca(
      R"({"IdBalanca":"balança","Modelo":2,"Porta":" COM4 ","BaudRate":"19200",)"
      R"("CaracterTerminator":"   ","IntervaloMonitorarMs":-5,"MargemToleranciaPesoKG":0,)"
      R"("Status":"x","Ocupacao":"y"})");
  ASSERT_EQ(r.status, 201) << r.corpo;
  auto b = ConfigBalanca.Copia();
  EXPECT_EQ(b.PortaOld, "COM3");
  EXPECT_EQ(b.Porta, " COM4 ");
  EXPECT_EQ(b.BaudRate, 19200);
  EXPECT_EQ(b.IntervaloMonitorarMs, 200);
  EXPECT_EQ(b.MargemToleranciaPesoKG, 0.0029999);
  EXPECT_EQ(b.CaracterTerminator, "#3");
  EXPECT_EQ(b.CharCaracterTerminator, 3);
  EXPECT_EQ(b.Status, "");
  EXPECT_TRUE(r.corpo.starts_with(R"({"IdBalanca":"balança","Modelo":2,"Porta":" COM4 ",)"))
      << r.corpo;
  EXPECT_TRUE(r.corpo.ends_with(
      R"("CaracterTerminator":"#3","mensagem":"Configuração da balança salva com sucesso."})"))
      << r.corpo;
  auto arquivo = LerArquivo(ArqConfigINI);
  EXPECT_NE(arquivo.find("MargemToleranciaPesoKG=0.0029999\n"), std::string::npos) << arquivo;
  EXPECT_NE(arquivo.find("[Balanca]\nIdBalanca=balança\nModelo=2\nPorta= COM4 \nBaudRate=19200\n"),
            std::string::npos)
      << arquivo;
  EXPECT_FALSE(ServicoPausado);
}

TEST_F(Controladores, TipoErradoDeixaOsAnterioresNaMemoriaEOArquivoIntacto) {
  auto r = TBalancaController::CadastrarBalanca(
      R"({"IdBalanca":"nova","Modelo":5,"Porta":"COM9","BaudRate":"rapido"})");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(r.corpo,
            R"({"erro":"'rapido' n\u00E3o \u00E9 um valor inteiro v\u00E1lido para BaudRate."})");
  auto b = ConfigBalanca.Copia();
  EXPECT_EQ(b.IdBalanca, "nova");
  EXPECT_EQ(b.Modelo, 5);
  EXPECT_EQ(b.Porta, "COM9");
  EXPECT_EQ(LerArquivo(ArqConfigINI), kArquivo);
}

TEST_F(Controladores, CorpoInvalidoVazioOuNaoObjeto) {
  for (const char* corpo : {"", "{", "nao json", "{\"a\":}"}) {
    auto r = TWebhookController::CadastrarWebhook(corpo);
    EXPECT_EQ(r.status, 400) << corpo;
    EXPECT_EQ(r.corpo, "JSON inválido.");
    EXPECT_EQ(r.tipo, "application/json");
  }
  for (const char* corpo : {"[]", "12", "\"texto\"", "null"})
    EXPECT_THROW(TWebhookController::CadastrarWebhook(corpo), CorpoNaoObjeto) << corpo;
  EXPECT_EQ(LerArquivo(ArqConfigINI), kArquivo);
}

TEST_F(Controladores, ArquivoSomenteLeituraDa500ETiraAPausa) {
  ::chmod(ArqConfigINI.c_str(), 0444);
  auto r = TBalancaController::CadastrarBalanca(R"({"IdBalanca":"x"})");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.corpo.find("somente leitura"), std::string::npos) << r.corpo;
  EXPECT_FALSE(ServicoPausado);
  EXPECT_EQ(ConfigBalanca.Copia().IdBalanca, "x");
  EXPECT_EQ(LerArquivo(ArqConfigINI), kArquivo);
  EXPECT_EQ(TWebhookController::CadastrarWebhook("{}").status, 500);
}

TEST_F(Controladores, QuebraDeLinhaNumValorERecusadaSemTocarNoArquivo) {
  auto r = TWebhookController::CadastrarWebhook(R"({"URL":"http://h\n[Service]\nPorta=1"})");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(LerArquivo(ArqConfigINI), kArquivo);
}

TEST_F(Controladores, WebhookSalvoRespondeEscapadoEEscreveRelatorioDeAtualizacao) {
  auto r = TWebhookController::CadastrarWebhook(
      R"({"IdIntegracao":"I","URL":"http://novo","Token":"abc","EndpointEnvioPeso":"/p"})");
  EXPECT_EQ(r.status, 201);
  EXPECT_EQ(r.corpo, R"({"mensagem":"Configura\u00E7\u00E3o do Webhook salva com sucesso."})");
  EXPECT_NE(
      LerArquivo(ArqConfigINI)
          .find("[Webhook]\nURL=http://novo\nToken=abc\nIdIntegracao=I\nEndpointEnvioPeso=/p\n"
                "EndpointEnvioStatus=\n"),
      std::string::npos);
  auto log = LerArquivo(LogServico.Obter()->ArquivoDoDia());
  EXPECT_NE(log.find("PARÂMETROS ATUALIZADOS"), std::string::npos);
}

}  // namespace
}  // namespace tarvex
