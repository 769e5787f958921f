// ServiceTarvex with a Toledo scale (Modelo=2) on the simulator: the model is chosen by its
// ordinal, the connection is logged and the weight route answers the simulator's weight.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/comum/apoio.h"
#include "tests/comum/simulador.h"
#include "tests/service/servidor_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

std::string LogDoServico(const teste::PastaTemporaria& pasta) {
  std::error_code erro;
  for (const auto& e : std::filesystem::directory_iterator(pasta / "Logs", erro))
    if (e.path().filename().string().ends_with("_Servico.log")) return teste::LerArquivo(e.path());
  return "";
}

TEST(BalancaToledoProcesso, ConectaPeloOrdinalDoModeloEServeOPesoDaBalanca) {
  teste::SimuladorBalancaTeste simulador({"--tcp", "0", "--modelo", "2", "--peso", "3.75"});
  teste::PastaTemporaria pasta;
  const int porta = teste::PortaLivre();
  teste::GravarArquivo(pasta / "config.ini", "[Service]\nPorta=" + std::to_string(porta) +
                                                 "\n[Balanca]\nModelo=2\nPorta=" +
                                                 simulador.Porta() + "\nTimeOutLePeso=1000\n");
  teste::Processo servico({teste::Programa("ServiceTarvex"), "--dir", pasta.Caminho().string()});

  const std::string conectado = "BALANÇA: Serviço conectado com a porta: " + simulador.Porta() +
                                ". Porta onde a balança está configurada!";
  ASSERT_TRUE(teste::EsperarAte([&] {
    return LogDoServico(pasta).find(conectado) != std::string::npos;
  })) << LogDoServico(pasta)
      << servico.Saida();

  httplib::Client cliente("127.0.0.1", porta);
  cliente.set_read_timeout(10);
  ASSERT_TRUE(teste::EsperarAte([&] { return cliente.Get("/test") != nullptr; }));
  auto resposta = cliente.Get("/api/v1/peso");
  ASSERT_TRUE(resposta);
  EXPECT_EQ(resposta->status, 200) << resposta->body;
  EXPECT_DOUBLE_EQ(nlohmann::json::parse(resposta->body).at("peso").get<double>(), 3.75)
      << resposta->body;

  servico.Sinalizar(SIGTERM);
  EXPECT_EQ(servico.AguardarFim(10s), 0);
}

}  // namespace
}  // namespace tarvex
