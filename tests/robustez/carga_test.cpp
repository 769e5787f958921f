// Many clients at once on every route of a running ServiceTarvex, each on a connection of its
// own: every answer is one the route may give, no request goes unanswered, and a second round
// of the same load leaves the memory where the first one left it.
//
// TARVEX_CARGA_CONEXOES and TARVEX_CARGA_SEGUNDOS change the load (bench/carga_mista.sh runs
// 200 connections for 30 seconds).
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/comum/simulador.h"
#include "tests/robustez/servico_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

int DoAmbiente(const char* nome, int padrao) {
  const char* valor = std::getenv(nome);
  return valor ? std::atoi(valor) : padrao;
}

struct Pedido {
  std::string metodo;
  std::string caminho;
  std::string corpo;  // empty: none
  std::set<int> aceitos;
};

// Every route; the ones that wait on the scale are in the list of a few clients only.
const std::vector<Pedido> kRapidos = {
    {"GET", "/test", "", {200}},
    {"GET", "/api/v1/balanca", "", {200}},
    {"GET", "/api/v1/webhook", "", {200}},
    {"GET", "/api/v1/service", "", {200}},
    {"POST",
     "/api/v1/webhook",
     R"({"IdIntegracao":"carga","URL":"http://127.0.0.1:1","EndpointEnvioPeso":"peso"})",
     {201}},
    {"POST",
     "/api/v1/service",
     R"({"AtivarLog":true,"IntervaloLeituraPesoMonitoraManual":300,"IntervaloVerificaBalanca":200})",
     {201}},
    {"POST", "/api/v1/service", "{\"AtivarLog\":", {400}},
    {"POST", "/api/v1/webhook", "[1,2]", {500}},
    {"OPTIONS", "/api/v1/peso", "", {204}},
    {"GET", "/swagger/doc/json", "", {200}},
    {"GET", "/nada", "", {404}},
    {"DELETE", "/api/v1/peso", "", {405}},
};

std::vector<Pedido> PedidosDaBalanca(const std::string& porta) {
  const std::string corpo =
      R"({"Modelo":2,"Porta":")" + porta +
      R"(","QtdTentativasLeituraErro":1,"IntervaloTentativasLeitura":20,"TimeOutLePeso":300})";
  return {{"GET", "/api/v1/peso", "", {200, 500}},
          {"GET", "/paramupdate", "", {200}},
          {"POST", "/api/v1/balanca", corpo, {201}}};
}

class Carga : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(servico_.Pronto()) << servico_.Proc().Saida(); }

  // One round: `conexoes` clients for `duracao`; gives the answers that were not allowed.
  std::vector<std::string> Rodada(int conexoes, std::chrono::seconds duracao) {
    const auto balanca = PedidosDaBalanca(simulador_.Porta());
    const auto fim = std::chrono::steady_clock::now() + duracao;
    std::mutex trava;
    std::vector<std::string> erros;
    std::atomic<long> respondidos{0};
    std::vector<std::jthread> clientes;
    for (int c = 0; c < conexoes; ++c) {
      clientes.emplace_back([&, c] {
        std::vector<Pedido> pedidos = kRapidos;
        if (c % 20 == 0) pedidos.insert(pedidos.end(), balanca.begin(), balanca.end());
        auto cliente = servico_.Cliente();
        cliente.set_keep_alive(true);
        for (std::size_t i = static_cast<std::size_t>(c); std::chrono::steady_clock::now() < fim;
             ++i) {
          const Pedido& p = pedidos[i % pedidos.size()];
          httplib::Request pedido;
          pedido.method = p.metodo;
          pedido.path = p.caminho;
          if (!p.corpo.empty()) {
            pedido.body = p.corpo;
            pedido.set_header("Content-Type", "application/json");
          }
          auto r = cliente.send(pedido);
          std::string erro;
          if (!r) {
            erro = "sem resposta: " + httplib::to_string(r.error());
          } else if (!p.aceitos.count(r->status)) {
            erro = std::to_string(r->status) + " " + r->body.substr(0, 200);
          } else if (p.caminho == "/api/v1/peso" && r->status == 500) {
            const Json j = Json::parse(r->body, nullptr, false);
            if (!j.is_object() || !j.contains("codigo")) erro = "500 sem código: " + r->body;
          }
          if (!erro.empty()) {
            std::lock_guard guarda(trava);
            erros.push_back(p.metodo + " " + p.caminho + ": " + erro);
          }
          ++respondidos;
        }
      });
    }
    clientes.clear();
    EXPECT_GT(respondidos, conexoes) << "every client got answers";
    return erros;
  }

  teste::SimuladorBalancaTeste simulador_{{"--tcp", "0", "--modelo", "2", "--peso", "1.25"}};
  teste::ServicoEmTeste servico_{
      "IntervaloVerificaBalanca=200\n[Balanca]\nModelo=2\nPorta=" + simulador_.Porta() +
      "\nQtdTentativasLeituraErro=1\nIntervaloTentativasLeitura=20\n"
      "TimeOutLePeso=300\n"};
};

TEST_F(Carga, TodasAsRotasAoMesmoTempoSoDaoRespostasPrevistasEAMemoriaFicaEstavel) {
  const int conexoes = DoAmbiente("TARVEX_CARGA_CONEXOES", 60);
  const std::chrono::seconds duracao(DoAmbiente("TARVEX_CARGA_SEGUNDOS", 3));

  auto erros = Rodada(conexoes, duracao);
  EXPECT_TRUE(erros.empty()) << erros.size()
                             << " respostas fora do previsto, a primeira: " << erros.front();
  std::this_thread::sleep_for(500ms);
  const long depoisDaPrimeira = servico_.MemoriaKb();

  erros = Rodada(conexoes, duracao);
  EXPECT_TRUE(erros.empty()) << erros.size()
                             << " respostas fora do previsto, a primeira: " << erros.front();
  std::this_thread::sleep_for(500ms);
  const long depoisDaSegunda = servico_.MemoriaKb();
  ASSERT_TRUE(servico_.Vivo());
  EXPECT_EQ(servico_.Cliente().Get("/test")->status, 200);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The sanitizers hold freed memory back on purpose; only a plain build shows the service's own.
  EXPECT_LT(depoisDaSegunda - depoisDaPrimeira, 8 * 1024)
      << "KiB after the first round: " << depoisDaPrimeira << ", after the second "
      << depoisDaSegunda;
#else
  (void)depoisDaPrimeira;
  (void)depoisDaSegunda;
#endif
}

}  // namespace
}  // namespace tarvex
