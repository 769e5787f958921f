#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "service/server_initializer.h"
#include "tests/service/servidor_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

const char* const kCabecalhosCors[][2] = {
    {"Access-Control-Allow-Origin", "*"},   {"Access-Control-Allow-Credentials", "true"},
    {"Access-Control-Allow-Headers", "*"},  {"Access-Control-Allow-Methods", "*"},
    {"Access-Control-Expose-Headers", "*"},
};

void EsperarCors(const httplib::Response& resposta) {
  for (const auto& [nome, valor] : kCabecalhosCors) {
    EXPECT_EQ(resposta.get_header_value(nome), valor) << nome << " em " << resposta.status;
  }
}

class ServidorRotas : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& s = alvo.servidor;
    InitializeAPIs(s, TratadoresApi{});
    s.Registrar("GET", "/api/v1/peso", [this](const PedidoHttp&, RespostaHttp& r) {
      ++leiturasDePeso;
      r.Responder(200, "{\"peso\":1.5}", "application/json");
    });
    s.Registrar("POST", "/eco", [](const PedidoHttp& p, RespostaHttp& r) {
      r.Responder(200, std::to_string(p.Corpo.size()) + ":" + p.Corpo.substr(0, 8));
    });
    alvo.Escutar();
    cliente = std::make_unique<httplib::Client>("127.0.0.1", alvo.porta);
    cliente->set_read_timeout(10s);
  }

  teste::ServidorDeTeste alvo;
  std::unique_ptr<httplib::Client> cliente;
  std::atomic<int> leiturasDePeso{0};
};

TEST_F(ServidorRotas, TestRespondeOTextoFixo) {
  auto r = cliente->Get("/test?qualquer=1");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  EXPECT_EQ(r->body, "Texto fixo retornado pelo servidor.");
  EsperarCors(*r);
}

TEST_F(ServidorRotas, OptionsRespondeSemRotaESemCorpo) {
  for (const char* caminho : {"/api/v1/peso", "/nao/existe"}) {
    auto r = cliente->Options(caminho);
    ASSERT_TRUE(r) << caminho;
    EXPECT_EQ(r->status, 204) << caminho;
    EXPECT_EQ(r->body, "") << caminho;
    EsperarCors(*r);
  }
  EXPECT_EQ(leiturasDePeso, 0);
}

TEST_F(ServidorRotas, CaminhoOuMetodoSemRota) {
  struct Caso {
    const char* metodo;
    const char* caminho;
    int status;
    const char* corpo;
  };
  const Caso casos[] = {
      {"GET", "/nada", 404, "Not Found"},
      {"GET", "/TEST", 404, "Not Found"},
      {"GET", "/test/", 404, "Not Found"},
      {"POST", "/nada", 404, "Not Found"},
      {"POST", "/test", 405, "Method Not Allowed"},
      {"PUT", "/test", 405, "Method Not Allowed"},
      {"GET", "/eco", 405, "Method Not Allowed"},
      {"DELETE", "/api/v1/peso", 405, "Method Not Allowed"},
  };
  for (const Caso& caso : casos) {
    httplib::Request pedido;
    pedido.method = caso.metodo;
    pedido.path = caso.caminho;
    pedido.body = "{}";
    auto r = cliente->send(pedido);
    ASSERT_TRUE(r) << caso.metodo << ' ' << caso.caminho;
    EXPECT_EQ(r->status, caso.status) << caso.metodo << ' ' << caso.caminho;
    EXPECT_EQ(r->body, caso.corpo) << caso.metodo << ' ' << caso.caminho;
    EsperarCors(*r);
  }
  EXPECT_EQ(leiturasDePeso, 0);
}

TEST_F(ServidorRotas, ErroQueEscapaDoTratador) {
  struct Caso {
    const char* caminho;
    TratadorHttp tratador;
    int status;
    const char* corpo;
  };
  const Caso casos[] = {
      {"/erro", [](const PedidoHttp&, RespostaHttp&) { throw std::runtime_error("falhou"); }, 500,
       "Internal Application Error"},
      {"/estranho", [](const PedidoHttp&, RespostaHttp&) { throw 42; }, 500,
       "Internal Application Error"},
      {"/criado-e-erro",
       [](const PedidoHttp&, RespostaHttp& r) {
         r.Responder(201, "{}", "application/json");
         throw std::runtime_error("depois");
       },
       500, "Internal Application Error"},
      {"/ja-respondido",
       [](const PedidoHttp&, RespostaHttp& r) {
         r.Responder(400, "JSON inválido.", "application/json");
         throw std::runtime_error("depois");
       },
       400, "JSON inválido."},
  };
  for (const Caso& caso : casos) alvo.servidor.Registrar("GET", caso.caminho, caso.tratador);
  for (const Caso& caso : casos) {
    auto r = cliente->Get(caso.caminho);
    ASSERT_TRUE(r) << caso.caminho;
    EXPECT_EQ(r->status, caso.status) << caso.caminho;
    EXPECT_EQ(r->body, caso.corpo) << caso.caminho;
    EsperarCors(*r);
  }
  auto depois = cliente->Get("/test");
  ASSERT_TRUE(depois);
  EXPECT_EQ(depois->status, 200);
}

TEST_F(ServidorRotas, CorpoAteOLimiteChegaInteiroAlemDeleE413) {
  auto noLimite = cliente->Post("/eco", std::string(kTamanhoMaximoCorpo, 'a'), "application/json");
  ASSERT_TRUE(noLimite);
  EXPECT_EQ(noLimite->status, 200);
  EXPECT_EQ(noLimite->body, std::to_string(kTamanhoMaximoCorpo) + ":aaaaaaaa");

  auto grande =
      cliente->Post("/eco", std::string(kTamanhoMaximoCorpo + 1, 'a'), "application/json");
  ASSERT_TRUE(grande);
  EXPECT_EQ(grande->status, 413);
  EsperarCors(*grande);

  // Chunked bodies announce no length, so the limit is counted as they arrive.
  std::size_t enviado = 0;
  auto emPartes = cliente->Post(
      "/eco",
      [&](std::size_t, httplib::DataSink& saida) {
        std::string bloco(64 * 1024, 'b');
        saida.write(bloco.data(), bloco.size());
        enviado += bloco.size();
        if (enviado >= 2 * kTamanhoMaximoCorpo) saida.done();
        return true;
      },
      "application/json");
  ASSERT_TRUE(emPartes);
  EXPECT_EQ(emPartes->status, 413);

  auto depois = cliente->Post("/eco", "{\"a\":1}", "application/json");
  ASSERT_TRUE(depois);
  EXPECT_EQ(depois->body, "7:{\"a\":1}");
}

TEST_F(ServidorRotas, CorpoGrandeAnunciadoERecusadoAntesDeSerEnviado) {
  std::string resposta = teste::TrocarBruto(
      alvo.porta,
      "POST /eco HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
      "Content-Length: 104857600\r\nExpect: 100-continue\r\nConnection: close\r\n\r\n",
      2s);
  EXPECT_TRUE(resposta.starts_with("HTTP/1.1 413")) << resposta;
  EXPECT_NE(resposta.find("Access-Control-Allow-Origin: *"), std::string::npos) << resposta;
}

TEST_F(ServidorRotas, PostSemTamanhoNemPartesTemCorpoVazio) {
  auto antes = std::chrono::steady_clock::now();
  std::string resposta = teste::TrocarBruto(
      alvo.porta, "POST /eco HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 3s);
  EXPECT_TRUE(resposta.starts_with("HTTP/1.1 200")) << resposta;
  EXPECT_TRUE(resposta.ends_with("\r\n\r\n0:")) << resposta;
  EXPECT_LT(std::chrono::steady_clock::now() - antes, 1s);
}

TEST_F(ServidorRotas, CaminhoComBarrasRepetidasVaiParaOCaminhoSimples) {
  auto r = cliente->Get("//swagger/doc/html");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 308);
  EXPECT_EQ(r->get_header_value("Location"), "/swagger/doc/html");
}

TEST_F(ServidorRotas, PedidosPresosNaoSeguramOsOutros) {
  std::mutex trava;
  std::condition_variable sinal;
  int presos = 0;
  bool soltar = false;
  alvo.servidor.Registrar("GET", "/lento", [&](const PedidoHttp&, RespostaHttp& r) {
    std::unique_lock espera(trava);
    ++presos;
    sinal.notify_all();
    sinal.wait(espera, [&] { return soltar; });
    r.Corpo = "lido";
  });

  constexpr int kPresos = 16;
  std::vector<std::thread> clientes;
  std::atomic<int> respondidos{0};
  for (int i = 0; i < kPresos; ++i) {
    clientes.emplace_back([&] {
      httplib::Client lento("127.0.0.1", alvo.porta);
      lento.set_read_timeout(20s);
      auto r = lento.Get("/lento");
      if (r && r->status == 200 && r->body == "lido") ++respondidos;
    });
  }
  bool todosPresos = false;
  {
    std::unique_lock espera(trava);
    todosPresos = sinal.wait_for(espera, 10s, [&] { return presos == kPresos; });
  }

  auto antes = std::chrono::steady_clock::now();
  auto r = cliente->Get("/test");
  auto duracao = std::chrono::steady_clock::now() - antes;

  {
    std::lock_guard guarda(trava);
    soltar = true;
  }
  sinal.notify_all();
  for (auto& c : clientes) c.join();

  ASSERT_TRUE(todosPresos);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->body, "Texto fixo retornado pelo servidor.");
  EXPECT_LT(duracao, 250ms);
  EXPECT_EQ(respondidos, kPresos);
}

}  // namespace
}  // namespace tarvex
