#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/comum/apoio.h"
#include "tests/service/servidor_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

// The messages of the day's service log, without their time stamps.
std::vector<std::string> MensagensDoLog(const teste::PastaTemporaria& pasta) {
  std::vector<std::string> mensagens;
  std::error_code erro;
  for (const auto& e : std::filesystem::directory_iterator(pasta / "Logs", erro)) {
    if (!e.path().filename().string().ends_with("_Servico.log")) continue;
    for (const auto& linha : teste::Linhas(teste::LerArquivo(e.path()))) {
      auto separador = linha.find(" - ");
      mensagens.push_back(separador == std::string::npos ? linha : linha.substr(separador + 3));
    }
  }
  return mensagens;
}

bool LogTem(const teste::PastaTemporaria& pasta, const std::string& mensagem) {
  auto mensagens = MensagensDoLog(pasta);
  return std::find(mensagens.begin(), mensagens.end(), mensagem) != mensagens.end();
}

std::unique_ptr<teste::Processo> IniciarServico(const teste::PastaTemporaria& pasta, int porta) {
  teste::GravarArquivo(pasta / "config.ini",
                       "[Service]\nPorta=" + std::to_string(porta) + "\nAtivarLog=S\n");
  return std::make_unique<teste::Processo>(std::vector<std::string>{
      teste::Programa("ServiceTarvex"), "--dir", pasta.Caminho().string()});
}

TEST(ServidorProcesso, AtendeNaPortaConfiguradaEParaComSigterm) {
  teste::PastaTemporaria pasta;
  int porta = teste::PortaLivre();
  auto servico = IniciarServico(pasta, porta);
  httplib::Client cliente("127.0.0.1", porta);
  ASSERT_TRUE(teste::EsperarAte([&] { return static_cast<bool>(cliente.Get("/test")); }))
      << servico->Saida();
  auto resposta = cliente.Get("/test");
  ASSERT_TRUE(resposta);
  EXPECT_EQ(resposta->status, 200);
  EXPECT_EQ(resposta->body, "Texto fixo retornado pelo servidor.");
  auto pagina = cliente.Get("/swagger/doc/swagger-ui-bundle.js");
  ASSERT_TRUE(pagina);
  EXPECT_EQ(pagina->status, 200) << "o build copia swagger-ui-dist para bin/swagger-ui";

  servico->Sinalizar(SIGTERM);
  EXPECT_EQ(servico->AguardarFim(5s), 0);
  EXPECT_FALSE(teste::AceitaConexao(porta));
  EXPECT_EQ(teste::Ultimas(MensagensDoLog(pasta), 3), teste::LinhasDaParada());
}

TEST(ServidorProcesso, PortaOcupadaEncerraComCodigo1DepoisDasCincoLinhas) {
  teste::PastaTemporaria pasta;
  int porta = teste::PortaLivre();
  teste::PortaOcupada outroPrograma(porta);
  auto servico = IniciarServico(pasta, porta);
  EXPECT_EQ(servico->AguardarFim(10s), 1) << servico->Saida();

  const std::vector<std::string> falha = {
      std::string(62, '*'),
      "********FALHA - SERVIÇO SERÁ FINALIZADO POR ESTE ERRO*********",
      std::string(62, '='),
      "Falha ao iniciar o servidor: a porta " + std::to_string(porta) +
          " já está em uso. O serviço será encerrado. Para solucionar, altere a porta nas "
          "configurações ou finalize o processo que está ocupando essa porta e tente novamente.",
      std::string(62, '*'),
  };
  auto mensagens = MensagensDoLog(pasta);
  auto inicio = std::search(mensagens.begin(), mensagens.end(), falha.begin(), falha.end());
  ASSERT_NE(inicio, mensagens.end()) << teste::LerArquivo(pasta / "config.ini");
  EXPECT_EQ(std::count(inicio, mensagens.end(), "Serviço Start"), 0);
}

TEST(ServidorProcesso, PortaZeroNaoEscutaEAindaParaComSigterm) {
  teste::PastaTemporaria pasta;
  auto servico = IniciarServico(pasta, 0);
  ASSERT_TRUE(teste::EsperarAte([&] { return LogTem(pasta, "Serviço Start"); }))
      << servico->Saida();
  servico->Sinalizar(SIGTERM);
  EXPECT_EQ(servico->AguardarFim(5s), 0);
  EXPECT_EQ(teste::Ultimas(MensagensDoLog(pasta), 3), teste::LinhasDaParada());
}

}  // namespace
}  // namespace tarvex
