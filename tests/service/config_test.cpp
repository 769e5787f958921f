#include "service/config.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/regional.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "tests/comum/apoio.h"

namespace tarvex {
namespace {

using teste::GravarArquivo;
using teste::LerArquivo;

class Configuracao : public ::testing::Test {
 protected:
  void SetUp() override {
    DefinirRegional(Regional{});
    DirConfigurado = pasta.Caminho().string();
    DefinirCaminhos();
    ConfigService.Definir({});
    ConfigBalanca.Definir({});
    ConfigWebHook.Definir({});
  }
  void TearDown() override { DefinirRegional(Regional{}); }

  void Carregar(const std::string& texto) {
    GravarArquivo(ArqConfigINI, texto);
    CarregarConfig();
  }

  teste::PastaTemporaria pasta;
};

TEST_F(Configuracao, ArquivoCriadoTemSoOServiceEOsPadroesCarregam) {
  CriarConfigPadrao();
  EXPECT_EQ(LerArquivo(ArqConfigINI),
            "[Service]\n"
            "Porta=50994\n"
            "AtivarLog=S\n"
            "MonitorarBalancaManual=N\n"
            "IntervaloLeituraPesoMonitoraManual=500\n"
            "IntervaloPosEnvioPesoAPI=1500\n"
            "IntervaloVerificaBalanca=5000\n"
            "PeriodoArmazenamentoLog=15\n");
  CarregarConfig();
  auto s = ConfigService.Copia();
  auto b = ConfigBalanca.Copia();
  EXPECT_EQ(s.Porta, 50994);
  EXPECT_TRUE(s.AtivarLog);
  EXPECT_FALSE(s.MonitorarBalancaManual);
  EXPECT_EQ(s.IntervaloLeituraPesoMonitoraManual, 500);
  EXPECT_EQ(s.IntervaloPosEnvioPesoAPI, 1500);
  EXPECT_EQ(s.IntervaloVerificaBalanca, 5000);
  EXPECT_EQ(s.PeriodoArmazenamentoLog, 15);
  EXPECT_FALSE(s.Versao.empty());
  EXPECT_EQ(b.Modelo, 0);
  EXPECT_EQ(b.Porta, "");
  EXPECT_EQ(b.BaudRate, 9600);
  EXPECT_EQ(b.DataBits, 8);
  EXPECT_EQ(b.CaracterTerminator, "#3");
  EXPECT_EQ(b.CharCaracterTerminator, 3);
  EXPECT_EQ(b.MargemToleranciaPesoKG, 0.0029);
  EXPECT_EQ(b.PesoMinimoEnvioKG, 0.005);
  EXPECT_EQ(b.TimeOutLePeso, 3000);
  EXPECT_EQ(b.IntervaloMonitorarMs, 200);
  EXPECT_EQ(b.QtdTentativasLeituraErro, 3);
  EXPECT_EQ(b.IntervaloTentativasLeitura, 1000);
  EXPECT_EQ(b.QtdConsistirPesoZeroMonitor, 2);

  GravarArquivo(ArqConfigINI, "[Service]\nPorta=1\n");
  CriarConfigPadrao();
  EXPECT_EQ(LerArquivo(ArqConfigINI), "[Service]\nPorta=1\n") << "an existing file is kept";
}

TEST_F(Configuracao, ArquivoAusenteDaOsPadroesDeLeitura) {
  CarregarConfig();
  auto s = ConfigService.Copia();
  EXPECT_EQ(s.Porta, 50994);
  EXPECT_TRUE(s.AtivarLog);
  EXPECT_EQ(s.IntervaloLeituraPesoMonitoraManual, 300);
  EXPECT_EQ(ConfigWebHook.Copia().URL, "");
}

TEST_F(Configuracao, PadroesEFallbacksPorChave) {
  struct Caso {
    const char* legenda;
    const char* texto;
    std::function<void(const TConfigService&, const TConfigBalanca&)> verificar;
  };
  const Caso casos[] = {
      {"AtivarLog missing is true", "[Service]\nPorta=1\n",
       [](auto& s, auto&) { EXPECT_TRUE(s.AtivarLog); }},
      {"AtivarLog empty is false", "[Service]\nAtivarLog=\n",
       [](auto& s, auto&) { EXPECT_FALSE(s.AtivarLog); }},
      {"AtivarLog=sim is false", "[Service]\nAtivarLog=sim\n",
       [](auto& s, auto&) { EXPECT_FALSE(s.AtivarLog); }},
      {"AtivarLog=s is true", "[Service]\nAtivarLog=s\n",
       [](auto& s, auto&) { EXPECT_TRUE(s.AtivarLog); }},
      {"AtivarLog=True is true", "[Service]\nAtivarLog=True\n",
       [](auto& s, auto&) { EXPECT_TRUE(s.AtivarLog); }},
      {"AtivarLog=1 is false", "[Service]\nAtivarLog=1\n",
       [](auto& s, auto&) { EXPECT_FALSE(s.AtivarLog); }},
      {"interval 0 falls back", "[Service]\nIntervaloVerificaBalanca=0\n",
       [](auto& s, auto&) { EXPECT_EQ(s.IntervaloVerificaBalanca, 5000); }},
      {"interval -5 falls back", "[Service]\nIntervaloVerificaBalanca=-5\n",
       [](auto& s, auto&) { EXPECT_EQ(s.IntervaloVerificaBalanca, 5000); }},
      {"interval abc falls back", "[Service]\nIntervaloVerificaBalanca=abc\n",
       [](auto& s, auto&) { EXPECT_EQ(s.IntervaloVerificaBalanca, 5000); }},
      {"interval in hex", "[Service]\nIntervaloVerificaBalanca=0x3E8\n",
       [](auto& s, auto&) { EXPECT_EQ(s.IntervaloVerificaBalanca, 1000); }},
      {"interval with $", "[Service]\nIntervaloPosEnvioPesoAPI=$10\n",
       [](auto& s, auto&) { EXPECT_EQ(s.IntervaloPosEnvioPesoAPI, 16); }},
      {"Porta 0 has no fallback", "[Service]\nPorta=0\n",
       [](auto& s, auto&) { EXPECT_EQ(s.Porta, 0); }},
      {"Porta with blanks", "[Service]\nPorta=  8080  \n",
       [](auto& s, auto&) { EXPECT_EQ(s.Porta, 8080); }},
      {"Porta empty takes the default", "[Service]\nPorta=\n",
       [](auto& s, auto&) { EXPECT_EQ(s.Porta, 50994); }},
      {"scale port trimmed", "[Balanca]\nPorta=  COM3  \n",
       [](auto&, auto& b) {
         EXPECT_EQ(b.Porta, "COM3");
         EXPECT_EQ(b.PortaOld, "COM3");
       }},
      {"tolerance 0", "[Balanca]\nMargemToleranciaPesoKG=0\n",
       [](auto&, auto& b) { EXPECT_EQ(b.MargemToleranciaPesoKG, 0.0029); }},
      {"tolerance negative", "[Balanca]\nMargemToleranciaPesoKG=-1.5\n",
       [](auto&, auto& b) { EXPECT_EQ(b.MargemToleranciaPesoKG, 0.0029); }},
      {"tolerance text", "[Balanca]\nMargemToleranciaPesoKG=abc\n",
       [](auto&, auto& b) { EXPECT_EQ(b.MargemToleranciaPesoKG, 0.0029); }},
      {"tolerance with the other separator", "[Balanca]\nMargemToleranciaPesoKG=0,01\n",
       [](auto&, auto& b) { EXPECT_EQ(b.MargemToleranciaPesoKG, 0.0029); }},
      {"tolerance read", "[Balanca]\nMargemToleranciaPesoKG=0.01\nPesoMinimoEnvioKG=1E-2\n",
       [](auto&, auto& b) {
         EXPECT_EQ(b.MargemToleranciaPesoKG, 0.01);
         EXPECT_EQ(b.PesoMinimoEnvioKG, 0.01);
       }},
      {"terminator #13", "[Balanca]\nCaracterTerminator=#13\n",
       [](auto&, auto& b) {
         EXPECT_EQ(b.CharCaracterTerminator, 13);
         EXPECT_EQ(b.CaracterTerminator, "#13");
       }},
      {"terminator #$0D", "[Balanca]\nCaracterTerminator=#$0D\n",
       [](auto&, auto& b) { EXPECT_EQ(b.CharCaracterTerminator, 13); }},
      {"terminator #abc", "[Balanca]\nCaracterTerminator=#abc\n",
       [](auto&, auto& b) {
         EXPECT_EQ(b.CharCaracterTerminator, 0);
         EXPECT_EQ(b.CaracterTerminator, "#abc");
       }},
      {"terminator #65539 keeps the low 16 bits", "[Balanca]\nCaracterTerminator=#65539\n",
       [](auto&, auto& b) { EXPECT_EQ(b.CharCaracterTerminator, 3); }},
      {"terminator |", "[Balanca]\nCaracterTerminator=|\n",
       [](auto&, auto& b) {
         EXPECT_EQ(b.CharCaracterTerminator, u'|');
         EXPECT_EQ(b.CaracterTerminator, "");
       }},
      {"terminator #", "[Balanca]\nCaracterTerminator=#\n",
       [](auto&, auto& b) {
         EXPECT_EQ(b.CharCaracterTerminator, u'#');
         EXPECT_EQ(b.CaracterTerminator, "");
       }},
      {"terminator empty", "[Balanca]\nCaracterTerminator=\n",
       [](auto&, auto& b) {
         EXPECT_EQ(b.CaracterTerminator, "#3");
         EXPECT_EQ(b.CharCaracterTerminator, 3);
       }},
      {"terminator blanks", "[Balanca]\nCaracterTerminator=\"   \"\n",
       [](auto&, auto& b) { EXPECT_EQ(b.CaracterTerminator, "#3"); }},
      {"serial values kept as read", "[Balanca]\nModelo=2\nBaudRate=0\nParity=7\n",
       [](auto&, auto& b) {
         EXPECT_EQ(b.Modelo, 2);
         EXPECT_EQ(b.BaudRate, 0);
         EXPECT_EQ(b.Parity, 7);
       }},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.legenda);
    ConfigBalanca.Definir({});
    Carregar(c.texto);
    c.verificar(ConfigService.Copia(), ConfigBalanca.Copia());
  }
}

TEST_F(Configuracao, RealSegueOSeparadorRegional) {
  DefinirRegional(Regional{',', '.', '/', ':'});
  Carregar("[Balanca]\nMargemToleranciaPesoKG=0,01\nPesoMinimoEnvioKG=0.5\n");
  auto b = ConfigBalanca.Copia();
  EXPECT_EQ(b.MargemToleranciaPesoKG, 0.01);
  EXPECT_EQ(b.PesoMinimoEnvioKG, 0.005) << "a point is not the decimal separator here";
}

TEST_F(Configuracao, ArqLogTxtECamposDeExecucaoSobrevivemARecarga) {
  Carregar("[Balanca]\nAtivarLogTxt=S\n");
  EXPECT_EQ(ConfigBalanca.Copia().ArqLogTxt, DirLogs + "logBal.txt");
  ConfigBalanca.Alterar([](TConfigBalanca& b) {
    b.Status = "Conectado";
    b.Ocupacao = "livre";
    b.StatusOld = "Conectado";
  });
  ConfigWebHook.Alterar([](TConfigWebHook& w) { w.APIOffline = true; });
  Carregar("[Balanca]\nAtivarLogTxt=N\n[Webhook]\nURL= http://x \n");
  auto b = ConfigBalanca.Copia();
  EXPECT_EQ(b.ArqLogTxt, DirLogs + "logBal.txt");
  EXPECT_EQ(b.Status, "Conectado");
  EXPECT_EQ(b.Ocupacao, "livre");
  EXPECT_EQ(b.StatusOld, "Conectado");
  EXPECT_TRUE(ConfigWebHook.Copia().APIOffline);
  EXPECT_EQ(ConfigWebHook.Copia().URL, "http://x") << "blanks around a value are dropped";
}

TEST(RegrasDeValor, FormasDeTextoEDeNumero) {
  EXPECT_EQ(BoolParaTexto(true), "S");
  EXPECT_EQ(BoolParaTexto(false), "N");
  EXPECT_EQ(TextoOuPadrao("  ", "#3"), "#3");
  EXPECT_EQ(TextoOuPadrao("\t\x01", "#3"), "#3");
  EXPECT_EQ(TextoOuPadrao(" x ", "#3"), " x ");
  EXPECT_EQ(InteiroPositivoOuPadrao(-1, 5), 5);
  EXPECT_EQ(InteiroPositivoOuPadrao(1, 5), 1);
  EXPECT_EQ(RealPositivoOuPadrao(0.0029, 0.0), 0.0029);
  EXPECT_EQ(RealPositivoOuPadrao(0.0029, 0.5), 0.5);
}

}  // namespace
}  // namespace tarvex
