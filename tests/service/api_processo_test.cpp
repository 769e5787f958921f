#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <future>
#include <thread>

#include "tests/comum/apoio.h"
#include "tests/comum/simulador.h"
#include "tests/service/servidor_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

// ServiceTarvex as a user runs it, on a simulated Toledo scale over TCP, with short retries.
class ApiProcesso : public ::testing::Test {
 protected:
  void SetUp() override {
    porta_ = teste::PortaLivre();
    GravarConfig(porta_, "DEMO");
    servico_ = std::make_unique<teste::Processo>(std::vector<std::string>{
        teste::Programa("ServiceTarvex"), "--dir", pasta_.Caminho().string()});
    ASSERT_TRUE(teste::EsperarAte([&] { return Cliente(porta_).Get("/test") != nullptr; }))
        << servico_->Saida();
  }

  void TearDown() override {
    servico_->Sinalizar(SIGTERM);
    EXPECT_EQ(servico_->AguardarFim(10s), 0);
  }

  void GravarConfig(int porta, const std::string& idBalanca) {
    teste::GravarArquivo(pasta_ / "config.ini",
                         "[Service]\nPorta=" + std::to_string(porta) +
                             "\nIntervaloVerificaBalanca=200\n"
                             "[Balanca]\nIdBalanca=" +
                             idBalanca + "\nModelo=2\nPorta=" + simulador_.Porta() +
                             "\nQtdTentativasLeituraErro=2\nIntervaloTentativasLeitura=50\n"
                             "TimeOutLePeso=400\n");
  }

  static httplib::Client Cliente(int porta) {
    httplib::Client cliente("127.0.0.1", porta);
    cliente.set_connection_timeout(2);
    cliente.set_read_timeout(10);
    return cliente;
  }

  std::string Log() {
    std::error_code erro;
    for (const auto& e : std::filesystem::directory_iterator(pasta_ / "Logs", erro))
      if (e.path().filename().string().ends_with("_Servico.log"))
        return teste::LerArquivo(e.path());
    return "";
  }

  teste::PastaTemporaria pasta_;
  teste::SimuladorBalancaTeste simulador_{{"--tcp", "0", "--modelo", "2", "--peso", "1.25"}};
  int porta_ = 0;
  std::unique_ptr<teste::Processo> servico_;
};

TEST_F(ApiProcesso, PesoDaBalancaOuOCodigoComOTexto) {
  auto cliente = Cliente(porta_);
  struct Caso {
    const char* comando;
    int status;
    std::string corpo;
  };
  const Caso casos[] = {
      {"peso 1,25", 200, R"({"peso":1.25})"},
      {"peso 0", 200, R"({"peso":0})"},
      {"instavel", 500, R"({"codigo":-1,"erro":"Peso inst\u00E1vel"})"},
      {"silencio", 500,
       R"({"codigo":-9,"erro":"Falha na leitura da balan\u00E7a. Verifique se a comunica\u00E7\u00E3o )"
       R"(com o servi\u00E7o TarvexService est\u00E1 funcionando corretamente."})"},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.comando);
    simulador_.Comando(c.comando);
    auto r = cliente.Get("/api/v1/peso");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status);
    EXPECT_EQ(r->get_header_value("Content-Type"), "application/json");
    EXPECT_EQ(r->body, c.corpo);
  }
}

TEST_F(ApiProcesso, ConfiguracaoPorRotasEErrosDoCorpo) {
  auto cliente = Cliente(porta_);
  auto balanca = cliente.Get("/api/v1/balanca");
  ASSERT_TRUE(balanca);
  EXPECT_EQ(balanca->status, 200);
  EXPECT_NE(balanca->body.find(R"("IdBalanca":"DEMO","Modelo":2,)"), std::string::npos);
  EXPECT_NE(balanca->body.find(R"("Status":"Conectado")"), std::string::npos) << balanca->body;

  auto service = cliente.Post("/api/v1/service", "{}", "application/json");
  ASSERT_TRUE(service);
  EXPECT_EQ(service->status, 201);
  EXPECT_EQ(service->body,
            R"({"mensagem":"Configura\u00E7\u00E3o do Service salva com sucesso."})");
  EXPECT_NE(teste::LerArquivo(pasta_ / "config.ini").find("IntervaloVerificaBalanca=5000"),
            std::string::npos);

  auto vazio = cliente.Post("/api/v1/webhook", "", "application/json");
  ASSERT_TRUE(vazio);
  EXPECT_EQ(vazio->status, 400);
  EXPECT_EQ(vazio->body, "JSON inválido.");
  auto lista = cliente.Post("/api/v1/webhook", "[]", "application/json");
  ASSERT_TRUE(lista);
  EXPECT_EQ(lista->status, 500);
  EXPECT_EQ(lista->body, "Internal Application Error");

  const long antes = simulador_.Requisicoes();
  auto opcoes = cliente.Options("/api/v1/peso");
  ASSERT_TRUE(opcoes);
  EXPECT_EQ(opcoes->status, 204);
  EXPECT_EQ(opcoes->body, "");
  for (const char* cabecalho : {"Access-Control-Allow-Origin", "Access-Control-Allow-Credentials",
                                "Access-Control-Allow-Headers", "Access-Control-Allow-Methods",
                                "Access-Control-Expose-Headers"})
    EXPECT_TRUE(opcoes->has_header(cabecalho)) << cabecalho;
  EXPECT_EQ(simulador_.Requisicoes(), antes) << "OPTIONS does not read the scale";
}

TEST_F(ApiProcesso, ParamUpdateReleOArquivoEOVigiaMudaAPorta) {
  const int novaPorta = teste::PortaLivre();
  GravarConfig(novaPorta, "NOVA");
  auto cliente = Cliente(porta_);
  auto r = cliente.Get("/paramupdate");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body, "");
  EXPECT_NE(Log().find("PARÂMETROS ATUALIZADOS - PARAMETRIZAÇÃO ATUAL"), std::string::npos);

  ASSERT_TRUE(teste::EsperarAte([&] { return teste::AceitaConexao(novaPorta); }, 5s))
      << "the watchdog moves the listener at its next pass";
  EXPECT_TRUE(teste::EsperarAte([&] { return !teste::AceitaConexao(porta_); }));
  auto balanca = Cliente(novaPorta).Get("/api/v1/balanca");
  ASSERT_TRUE(balanca);
  EXPECT_NE(balanca->body.find(R"("IdBalanca":"NOVA")"), std::string::npos);
}

TEST_F(ApiProcesso, TesteRespondeDepressaEnquantoLeiturasEsperamABalanca) {
  simulador_.Comando("silencio");
  std::vector<std::future<int>> leituras;
  for (int i = 0; i < 16; ++i)
    leituras.push_back(std::async(std::launch::async, [&] {
      auto r = Cliente(porta_).Get("/api/v1/peso");
      return r ? r->status : 0;
    }));
  std::this_thread::sleep_for(300ms);
  auto cliente = Cliente(porta_);
  std::vector<std::chrono::steady_clock::duration> duracoes;
  for (int i = 0; i < 7; ++i) {
    auto inicio = std::chrono::steady_clock::now();
    auto r = cliente.Get("/test");
    duracoes.push_back(std::chrono::steady_clock::now() - inicio);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
  }
  // The median, so one scheduling hiccup of a busy machine does not decide.
  std::sort(duracoes.begin(), duracoes.end());
  EXPECT_LT(duracoes[duracoes.size() / 2], 100ms);
  simulador_.Comando("estavel");
  for (auto& leitura : leituras) EXPECT_NE(leitura.get(), 0);
}

}  // namespace
}  // namespace tarvex
