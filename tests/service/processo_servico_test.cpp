#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <regex>

#include "tests/comum/apoio.h"
#include "tests/service/servidor_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using teste::LerArquivo;
using teste::Linhas;

// The day's service log of a folder (the only "*_Servico.log" in Logs).
std::string LogDoServico(const teste::PastaTemporaria& pasta) {
  std::error_code erro;
  for (const auto& e : std::filesystem::directory_iterator(pasta / "Logs", erro))
    if (e.path().filename().string().ends_with("_Servico.log")) return LerArquivo(e.path());
  return "";
}

bool Contem(const std::string& texto, const std::string& parte) {
  return texto.find(parte) != std::string::npos;
}

TEST(ProcessoServico, PastaVaziaCriaConfigRelatorioEParaComSigterm) {
  // A fresh installation listens on the default port; a demo running on this machine holds it.
  if (teste::AceitaConexao(50994)) GTEST_SKIP() << "port 50994 is taken by another program";
  teste::PastaTemporaria pasta;
  teste::Processo servico({teste::Programa("ServiceTarvex"), "--dir", pasta.Caminho().string()});
  ASSERT_TRUE(teste::EsperarAte([&] { return Contem(LogDoServico(pasta), "Serviço Start"); }))
      << servico.Saida();

  EXPECT_EQ(LerArquivo(pasta / "config.ini"),
            "[Service]\nPorta=50994\nAtivarLog=S\nMonitorarBalancaManual=N\n"
            "IntervaloLeituraPesoMonitoraManual=500\nIntervaloPosEnvioPesoAPI=1500\n"
            "IntervaloVerificaBalanca=5000\nPeriodoArmazenamentoLog=15\n");
  std::string nomeLog;
  for (const auto& e : std::filesystem::directory_iterator(pasta / "Logs"))
    nomeLog = e.path().filename().string();
  EXPECT_TRUE(std::regex_match(nomeLog, std::regex(R"(20\d{6}_Servico\.log)"))) << nomeLog;

  auto log = LogDoServico(pasta);
  EXPECT_TRUE(Contem(log, "INÍCIO DO SERVIÇO - PARAMETRIZAÇÃO ATUAL"));
  EXPECT_TRUE(Contem(log, "ERRO: Nenhum Modelo de balança foi configurado."));
  EXPECT_TRUE(Contem(log, "ERRO: Nenhuma Porta de balança foi configurado."));
  EXPECT_TRUE(Contem(log, "ERRO: A URL do WebHook para envio de peso não foi configurada."));
  EXPECT_TRUE(Contem(log, "ERRO: A Endpoint para Envio do Peso do WebHook não foi configurada."));
  EXPECT_FALSE(Contem(log, "ERRO: A Porta do serviço não foi definida."));
  EXPECT_TRUE(Contem(log, "Acesso ao Swagger: http://localhost:50994//swagger/doc/html#/"));

  auto antes = std::chrono::steady_clock::now();
  servico.Sinalizar(SIGTERM);
  EXPECT_EQ(servico.AguardarFim(2s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - antes, 2s);
  std::vector<std::string> mensagens;
  for (const auto& linha : Linhas(LogDoServico(pasta))) mensagens.push_back(linha.substr(20));
  EXPECT_EQ(teste::Ultimas(mensagens, 3), teste::LinhasDaParada())
      << "nothing is written after the logger is freed";
}

TEST(ProcessoServico, LocalComVirgulaFormataORelatorioComVirgula) {
  teste::PastaTemporaria pasta;
  teste::GravarArquivo(pasta / "config.ini", "[Service]\nPorta=0\n");
  teste::Processo servico({teste::Programa("ServiceTarvex"), "--dir", pasta.Caminho().string()},
                          {"LC_ALL=pt_BR.UTF-8", "LANG=pt_BR.UTF-8"});
  ASSERT_TRUE(teste::EsperarAte([&] { return Contem(LogDoServico(pasta), "Serviço Start"); }))
      << servico.Saida();
  auto log = LogDoServico(pasta);
  EXPECT_TRUE(Contem(log, "  Margem de Tolerância para Variação de Peso: 0,0029")) << log;
  EXPECT_TRUE(Contem(log, "  Peso minimo para ser enviado a API: 0,005"));
  servico.Sinalizar(SIGINT);
  EXPECT_EQ(servico.AguardarFim(2s), 0);
}

TEST(ProcessoServico, ParadaRapidaComIntervalosLongosEMonitorManual) {
  teste::PastaTemporaria pasta;
  teste::GravarArquivo(
      pasta / "config.ini",
      "[Service]\nPorta=0\nMonitorarBalancaManual=S\n"
      "IntervaloVerificaBalanca=600000\nIntervaloLeituraPesoMonitoraManual=600000\n"
      "[Webhook]\nURL=http://127.0.0.1:9\nEndpointEnvioPeso=peso\n");
  teste::Processo servico({teste::Programa("ServiceTarvex"), "--dir", pasta.Caminho().string()});
  ASSERT_TRUE(teste::EsperarAte([&] { return Contem(LogDoServico(pasta), "Serviço Start"); }))
      << servico.Saida();
  auto antes = std::chrono::steady_clock::now();
  servico.Sinalizar(SIGTERM);
  EXPECT_EQ(servico.AguardarFim(5s), 0);
  // The manual monitor's stop waits its one second; nothing waits out an interval.
  EXPECT_LT(std::chrono::steady_clock::now() - antes, 2500ms);
  std::vector<std::string> mensagens;
  for (const auto& linha : Linhas(LogDoServico(pasta))) mensagens.push_back(linha.substr(20));
  // The monitor's own lines (its probe of the unreachable endpoint) may fall in between.
  const std::vector<std::string> parada = {"Serviço Stop", "TMonitorBalancaThread - Pause",
                                           "TMonitorBalancaThread - Destroy",
                                           "TMonitorarPesoBalancaThread - Pause"};
  auto posicao = mensagens.begin();
  for (const auto& esperada : parada) {
    posicao = std::find(posicao, mensagens.end(), esperada);
    ASSERT_NE(posicao, mensagens.end()) << esperada << " missing or out of order";
  }
}

TEST(ProcessoServico, AjudaVersaoEOpcaoDesconhecida) {
  teste::Processo ajuda({teste::Programa("ServiceTarvex"), "--help"});
  EXPECT_EQ(ajuda.AguardarFim(5s), 0);
  EXPECT_TRUE(Contem(ajuda.Saida(), "--dir"));
  teste::Processo versao({teste::Programa("ServiceTarvex"), "--version"});
  EXPECT_EQ(versao.AguardarFim(5s), 0);
  EXPECT_TRUE(std::regex_search(versao.Saida(), std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
  teste::Processo errado({teste::Programa("ServiceTarvex"), "--nada"});
  EXPECT_EQ(errado.AguardarFim(5s), 2);
}

}  // namespace
}  // namespace tarvex
