#include <gtest/gtest.h>

#include <regex>

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
using teste::Linhas;

// The service as far as its report: paths in a fresh folder, config, logger.
class Relatorio : public ::testing::Test {
 protected:
  void SetUp() override {
    DefinirRegional(Regional{});
    DirConfigurado = pasta.Caminho().string();
    DefinirCaminhos();
    NomeServico = "TarvexService";
    GarantirPastaLogs();
    ConfigBalanca.Definir({});
    ConfigWebHook.Definir({});
  }
  void TearDown() override {
    LogServico.Retirar();
    DefinirRegional(Regional{});
  }

  // The day's log without the time stamps.
  std::vector<std::string> Mensagens() {
    auto logger = LogServico.Obter();
    std::vector<std::string> mensagens;
    for (const auto& linha : Linhas(LerArquivo(logger->ArquivoDoDia()))) {
      EXPECT_TRUE(
          std::regex_match(linha.substr(0, 20), std::regex(R"(\d\d-\d\d-\d\d \d\d.\d\d.\d\d - )")))
          << linha;
      mensagens.push_back(linha.substr(20));
    }
    return mensagens;
  }

  // The start-up as far as the report.
  static void Relatar() {
    CriarConfigPadrao();
    CarregarConfig();
    CriarLogger();
    ExibirParametros(false);
  }

  teste::PastaTemporaria pasta;
};

const std::string kAsteriscos(96, '*');
const std::string kHifens(96, '-');

std::vector<std::string> RelatorioDeInstalacaoNova() {
  return {
      kAsteriscos,
      "****************************INÍCIO DO SERVIÇO - PARAMETRIZAÇÃO "
      "ATUAL****************************",
      kHifens,
      "[SERVIÇO]",
      "  Porta do serviço: 50994",
      "  Ativar log: True",
      "  Monitoramento manual da balança: False",
      "  Intervalo entre Leituras de Peso: 500",
      "  Tempo de Espera Após Envio do Peso: 1500",
      "[BALANÇA]",
      "  ID da Balança: ",
      "  Modelo da Balança: 0",
      "  Porta da Balança: ",
      "  BaudRate: 9600",
      "  DataBits: 8",
      "  Parity: 0",
      "  StopBits: 0",
      "  HandShake: 0",
      "  Ativar Log Txt: False",
      "  Monitorar Balança: False",
      "  Intervalo de Monitoramento (ms): 200",
      "  Quantidade Tentativas Leitura Peso quando Erro: 3",
      "  Intervalo entre as Tentativas de Leitura: 1000",
      "  Comparar peso Anterior Diferente do Atual para Enviar: False",
      "  Margem de Tolerância para Variação de Peso: 0.0029",
      "  Peso minimo para ser enviado a API: 0.005",
      "  Quantidade Consistir Zero (Monitorar Peso): 2",
      "  Caracter Terminator: #3",
      "[WEBHOOK]",
      "  ID de Integração WebHook: ",
      "  URL WebHook: ",
      "  Token WebHook: ",
      "  Endpoint para Envio do Peso: ",
      "  Endpoint para Envio do Status da Balança: ",
      kAsteriscos,
      "**********CONFIGURAÇÕES ESSENCIAIS AUSENTES - O SERVIÇO PODE NÃO FUNCIONAR "
      "CORRETAMENTE*********",
      kHifens,
      "ERRO: Nenhum Modelo de balança foi configurado. O serviço não conseguirá se comunicar com a "
      "balança.",
      "ERRO: Nenhuma Porta de balança foi configurado. O serviço não conseguirá se comunicar com a "
      "balança.",
      "ERRO: A URL do WebHook para envio de peso não foi configurada. O monitoramento não será "
      "funcional.",
      "ERRO: A Endpoint para Envio do Peso do WebHook não foi configurada. O monitoramento não "
      "será "
      "funcional.",
      kAsteriscos,
      "Acesso ao Swagger: http://localhost:50994//swagger/doc/html#/",
      kAsteriscos,
  };
}

TEST_F(Relatorio, InstalacaoNovaLinhaALinha) {
  Relatar();
  EXPECT_EQ(Mensagens(), RelatorioDeInstalacaoNova());
}

TEST_F(Relatorio, ConfiguracaoCompletaComLogDaBalancaESemPorta) {
  GravarArquivo(ArqConfigINI,
                "[Service]\nPorta=0\n"
                "[Balanca]\nModelo=2\nPorta=TCP:127.0.0.1:9100\nAtivarLogTxt=S\n"
                "CaracterTerminator=|\nMargemToleranciaPesoKG=1234.5\n"
                "[Webhook]\nURL=http://h\nEndpointEnvioPeso=/peso\nToken=segredo\n");
  Relatar();
  auto m = Mensagens();
  auto tem = [&](const std::string& texto) {
    return std::find(m.begin(), m.end(), texto) != m.end();
  };
  EXPECT_TRUE(tem("  Arquivo de Log da Balança: " + DirLogs + "logBal.txt"));
  EXPECT_TRUE(tem("  Caracter Terminator: "));
  EXPECT_TRUE(tem("  Token WebHook: segredo"));
  EXPECT_TRUE(tem("  Margem de Tolerância para Variação de Peso: 1,234.5000"));
  EXPECT_TRUE(
      tem("ERRO: A Porta do serviço não foi definida. Defina um valor válido para permitir a "
          "comunicação."));
  EXPECT_FALSE(
      tem("ERRO: Nenhum Modelo de balança foi configurado. O serviço não conseguirá se "
          "comunicar com a balança."));
  EXPECT_EQ(std::count_if(m.begin(), m.end(),
                          [](const std::string& l) { return l.rfind("ERRO:", 0) == 0; }),
            1);
  EXPECT_EQ(m.back(), kAsteriscos);
  EXPECT_EQ(std::count_if(m.begin(), m.end(),
                          [](const std::string& l) { return l.find("Swagger") != l.npos; }),
            0);
}

TEST_F(Relatorio, CabecalhoDeAtualizacaoESeparadoresRegionais) {
  DefinirRegional(Regional{',', '.', '/', ':'});
  Relatar();
  ExibirParametros(true);
  auto m = Mensagens();
  EXPECT_EQ(std::count(m.begin(), m.end(),
                       "*************************PARÂMETROS ATUALIZADOS - PARAMETRIZAÇÃO "
                       "ATUAL**************************"),
            1);
  EXPECT_EQ(std::count(m.begin(), m.end(), "  Margem de Tolerância para Variação de Peso: 0,0029"),
            2);
  EXPECT_EQ(std::count(m.begin(), m.end(), "  Peso minimo para ser enviado a API: 0,005"), 2);
}

TEST_F(Relatorio, LogDesligadoNaoEscreveEGravarLogSemLoggerDescarta) {
  GravarLog("antes do logger");
  GravarArquivo(ArqConfigINI, "[Service]\nAtivarLog=N\n");
  Relatar();
  auto logger = LogServico.Obter();
  EXPECT_FALSE(std::filesystem::exists(logger->ArquivoDoDia()));

  ConfigService.Alterar([](TConfigService& s) { s.AtivarLog = true; });
  AtualizarDestinoLog();
  GravarLog("linha\ncom quebra");
  auto linhas = Linhas(LerArquivo(logger->ArquivoDoDia()));
  ASSERT_EQ(linhas.size(), 2u);
  EXPECT_TRUE(linhas[0].ends_with(" - linha"));
  EXPECT_EQ(linhas[1], "com quebra") << "a message with line breaks is written unchanged";

  Finalizar();
  GravarLog("depois do fim");
  EXPECT_EQ(Linhas(LerArquivo(logger->ArquivoDoDia())).size(), 2u);
}

TEST(TextoStatusPeso, TextosDosCodigos) {
  NomeServico = "TarvexService";
  EXPECT_EQ(TextoStatusPeso(-10), "Sobrecarga de peso");
  EXPECT_EQ(TextoStatusPeso(-2), "Peso negativo");
  EXPECT_EQ(TextoStatusPeso(-1), "Peso instável");
  EXPECT_EQ(TextoStatusPeso(-3),
            "Falha na leitura da balança. Verifique se a comunicação com o serviço TarvexService "
            "está funcionando corretamente.");
  EXPECT_EQ(TextoStatusPeso(-9), TextoStatusPeso(-3));
}

TEST(Logger, LinhasDeVariasThreadsNaoSePerdem) {
  teste::PastaTemporaria pasta;
  TLogger logger(ldFile, pasta.Caminho().string() + "/", "");
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&logger, t] {
      for (int i = 0; i < 200; ++i) logger.Log("thread " + std::to_string(t));
    });
  for (auto& t : threads) t.join();
  auto linhas = Linhas(LerArquivo(logger.ArquivoDoDia()));
  EXPECT_EQ(linhas.size(), 1600u);
  EXPECT_TRUE(logger.ArquivoDoDia().ends_with("_Servico.log"));
}

}  // namespace
}  // namespace tarvex
