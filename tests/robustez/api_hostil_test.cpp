// Hostile input at the API of a running ServiceTarvex: sizes past the limits, clients that hold
// connections, bodies made to break config.ini, bytes that are not UTF-8, deep nesting, numbers
// past every range. The service answers each as the API says and goes on serving.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "base/ini.h"
#include "service/server_initializer.h"
#include "tests/robustez/servico_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

// An open connection to the service, written and read as raw bytes.
class Conexao {
 public:
  explicit Conexao(int porta) : fd_(teste::Conectar(porta)) {}
  ~Conexao() {
    if (fd_ >= 0) ::close(fd_);
  }
  Conexao(const Conexao&) = delete;
  Conexao& operator=(const Conexao&) = delete;

  bool Aberta() const { return fd_ >= 0; }
  // False once the service has closed the connection.
  bool Enviar(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // What arrives until the service closes the connection or `espera` passes without a byte.
  std::string Receber(std::chrono::milliseconds espera) {
    timeval limite{static_cast<time_t>(espera.count() / 1000),
                   static_cast<suseconds_t>((espera.count() % 1000) * 1000)};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limite, sizeof(limite));
    std::string recebido;
    char bloco[4096];
    ssize_t n;
    while ((n = ::recv(fd_, bloco, sizeof(bloco), 0)) > 0)
      recebido.append(bloco, static_cast<std::size_t>(n));
    fechada_ = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    return recebido;
  }
  bool FechadaPeloServico() const { return fechada_; }

 private:
  int fd_;
  bool fechada_ = false;
};

std::string Post(const std::string& caminho, const std::string& cabecalhos) {
  return "POST " + caminho + " HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n" +
         cabecalhos + "\r\n";
}

class ApiHostil : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(servico_.Pronto()) << servico_.Proc().Saida(); }

  // The service still answers, and its configuration still reads as JSON.
  void EsperarAtendendo() {
    ASSERT_TRUE(servico_.Vivo()) << servico_.Proc().Saida();
    for (const char* rota : {"/api/v1/balanca", "/api/v1/webhook", "/api/v1/service"}) {
      auto r = servico_.Cliente().Get(rota);
      ASSERT_TRUE(r) << rota;
      EXPECT_EQ(r->status, 200) << rota;
      EXPECT_TRUE(Json::accept(r->body)) << r->body;
    }
  }

  httplib::Result Postar(const std::string& rota, const std::string& corpo) {
    return servico_.Cliente().Post(rota, corpo, "application/json");
  }

  teste::ServicoEmTeste servico_{
      "[Webhook]\nIdIntegracao=int\nToken=segredo\n[Outra]\nChave=fica como está\n"};
};

// A body announced past 1 MiB is refused before a byte of it is read; one that arrives in
// chunks is refused as soon as it passes the limit. Either way the connection closes, so what
// the client still sends is never read as requests.
TEST_F(ApiHostil, CorpoAlemDoLimiteE413SemSerLidoInteiro) {
  const std::string arquivo = teste::LerArquivo(servico_.Config());
  {
    Conexao c(servico_.Porta());
    ASSERT_TRUE(c.Aberta());
    c.Enviar(Post("/api/v1/webhook", "Content-Length: 104857600\r\n") + std::string(65536, '{'));
    const auto antes = std::chrono::steady_clock::now();
    const std::string resposta = c.Receber(3s);
    EXPECT_TRUE(resposta.starts_with("HTTP/1.1 413")) << resposta;
    EXPECT_LT(std::chrono::steady_clock::now() - antes, 2s);
    EXPECT_TRUE(c.FechadaPeloServico());
  }
  {
    // A client that sends its whole body before it reads still gets the answer: the service
    // drops what arrives after it instead of resetting the connection under it.
    Conexao c(servico_.Porta());
    const std::string corpo(kTamanhoMaximoCorpo + kTamanhoMaximoCorpo / 2, ' ');
    EXPECT_TRUE(c.Enviar(
        Post("/api/v1/webhook", "Content-Length: " + std::to_string(corpo.size()) + "\r\n") +
        corpo));
    EXPECT_TRUE(c.Receber(3s).starts_with("HTTP/1.1 413"));
  }
  {
    Conexao c(servico_.Porta());
    c.Enviar(Post("/api/v1/webhook", "Transfer-Encoding: chunked\r\n"));
    const std::string pedaco = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
    // 1.5 MiB and no last chunk: the answer can only come if the service stopped reading.
    for (int i = 0; i < 24 && c.Enviar(pedaco); ++i) {
    }
    const std::string resposta = c.Receber(3s);
    EXPECT_TRUE(resposta.starts_with("HTTP/1.1 413")) << resposta.substr(0, 200);
    EXPECT_TRUE(c.FechadaPeloServico());
  }
  EXPECT_EQ(teste::LerArquivo(servico_.Config()), arquivo);
  EsperarAtendendo();
}

// A body that no route reads stays in the connection: served on, it would be parsed as the
// next requests, and a request hidden in it would run (here, a save of the configuration). So
// would a body whose length the service cannot tell: an invalid or a repeated Content-Length.
TEST_F(ApiHostil, CorpoNaoLidoNuncaViraOutroPedido) {
  const std::string escondido =
      "POST /api/v1/service HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
      "Content-Length: 19\r\n\r\n{\"AtivarLog\":false}";
  const std::string corpoLongo = std::string(6000, 'x') + "\r\n" + escondido;
  struct Caso {
    std::string tamanho;
    std::string corpo;
    const char* status;
  };
  const Caso casos[] = {
      {"Content-Length: " + std::to_string(corpoLongo.size()), corpoLongo, "200"},
      {"Content-Length: abc", escondido, "400"},
      {"Content-Length: 0x10", escondido, "400"},
      {"Content-Length: -1", escondido, "400"},
      {"Content-Length: 5, 5", escondido, "400"},
      {"Content-Length: 0\r\nContent-Length: 200", escondido, "400"},
  };
  const std::string arquivo = teste::LerArquivo(servico_.Config());
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.tamanho);
    Conexao c(servico_.Porta());
    c.Enviar("GET /test HTTP/1.1\r\nHost: x\r\n" + caso.tamanho + "\r\n\r\n" + caso.corpo);
    const std::string resposta = c.Receber(5s);
    EXPECT_TRUE(resposta.starts_with("HTTP/1.1 " + std::string(caso.status))) << resposta;
    EXPECT_EQ(resposta.find("HTTP/1.1", 1), std::string::npos) << resposta;
    EXPECT_TRUE(c.FechadaPeloServico());
    EXPECT_EQ(teste::LerArquivo(servico_.Config()), arquivo);
  }
}

// Header lines are kept in memory as they arrive: without a bound, one client could make the
// service take as much memory as it sends.
TEST_F(ApiHostil, CabecalhosEnormesSaoRecusadosSemConsumirMemoria) {
  {
    Conexao c(servico_.Porta());
    c.Enviar("GET /test HTTP/1.1\r\nHost: x\r\nX-Grande: " + std::string(100000, 'a') + "\r\n\r\n");
    EXPECT_TRUE(c.Receber(3s).starts_with("HTTP/1.1 400"));
    EXPECT_TRUE(c.FechadaPeloServico());
  }
  const long memoriaAntes = servico_.MemoriaKb();
  Conexao c(servico_.Porta());
  c.Enviar("GET /test HTTP/1.1\r\nHost: x\r\n");
  std::string cabecalhos;
  for (int i = 0; i < 4000; ++i) cabecalhos += "X-" + std::to_string(i) + ": v\r\n";
  std::size_t enviados = 0;
  // 16 MiB of small headers; the service stops reading long before.
  while (enviados < 16u << 20 && c.Enviar(cabecalhos)) enviados += cabecalhos.size();
  EXPECT_LT(enviados, 16u << 20) << "the service read every header line";
  EXPECT_TRUE(c.Receber(3s).starts_with("HTTP/1.1 400"));
  EXPECT_LT(servico_.MemoriaKb() - memoriaAntes, 16 * 1024);
  EsperarAtendendo();
}

// Clients that open connections and send their headers a byte at a time hold a worker each;
// there are more of them here than the server once had workers, and the others are served.
TEST_F(ApiHostil, ConexoesLentasNaoSeguramOsOutros) {
  std::vector<std::unique_ptr<Conexao>> lentas;
  for (int i = 0; i < 100; ++i) {
    lentas.push_back(std::make_unique<Conexao>(servico_.Porta()));
    lentas.back()->Enviar("GET /test HTTP/1.1\r\n");
  }
  std::jthread gotejar([&](std::stop_token parar) {
    while (!parar.stop_requested()) {
      for (auto& c : lentas) c->Enviar("X");
      std::this_thread::sleep_for(200ms);
    }
  });
  std::this_thread::sleep_for(300ms);
  for (int i = 0; i < 10; ++i) {
    const auto antes = std::chrono::steady_clock::now();
    auto cliente = servico_.Cliente();
    cliente.set_read_timeout(3s);
    auto r = cliente.Get("/api/v1/service");
    ASSERT_TRUE(r) << "pedido " << i;
    EXPECT_EQ(r->status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - antes, 1s);
  }
}

struct CasoQuebra {
  const char* rota;
  const char* corpo;
};

// A value with a line break would add lines of its own to config.ini (a key, a section): the
// save refuses it, answers 500 and leaves the file as it was.
TEST_F(ApiHostil, QuebraDeLinhaNumValorERecusadaComOArquivoIntacto) {
  const CasoQuebra casos[] = {
      {"/api/v1/webhook", R"({"URL":"http://127.0.0.1:1","Token":"a\n[Service]\nPorta=1"})"},
      {"/api/v1/webhook", R"({"EndpointEnvioPeso":"peso\rAtivarLog=N"})"},
      {"/api/v1/balanca", R"({"IdBalanca":"b\r\n[Service]\r\nPorta=1"})"},
      {"/api/v1/balanca", R"({"CaracterTerminator":"#13\nModelo=2"})"},
  };
  const std::string arquivo = teste::LerArquivo(servico_.Config());
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.corpo);
    auto r = Postar(caso.rota, caso.corpo);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 500);
    const Json corpo = Json::parse(r->body, nullptr, false);
    ASSERT_TRUE(corpo.is_object()) << r->body;
    EXPECT_NE(corpo.value("erro", "").find("quebra de linha"), std::string::npos) << r->body;
    EXPECT_EQ(teste::LerArquivo(servico_.Config()), arquivo);
  }
  EsperarAtendendo();
}

// Bytes that are not UTF-8 never reach the file: the body is not JSON. Escapes that are not a
// character either (a lone surrogate) are refused the same way; real characters go through.
TEST_F(ApiHostil, TextoQueNaoEUtf8ERecusadoEOQueEChegaInteiro) {
  const std::string arquivo = teste::LerArquivo(servico_.Config());
  for (const std::string& corpo :
       {std::string("{\"Token\":\"\xff\xfe\"}"), std::string("{\"Token\":\"a\xc3\"}"),
        std::string(R"({"Token":"\ud800"})")}) {
    auto r = Postar("/api/v1/webhook", corpo);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_EQ(r->body, "JSON inválido.");
  }
  EXPECT_EQ(teste::LerArquivo(servico_.Config()), arquivo);

  const std::string token = "ç\xf0\x9f\x98\x80\\u00e9";
  auto r = Postar("/api/v1/webhook", R"({"Token":")" + token + R"("})");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 201) << r->body;
  auto lido = servico_.Cliente().Get("/api/v1/webhook");
  ASSERT_TRUE(lido);
  EXPECT_EQ(Json::parse(lido->body).value("Token", ""), "ç\xf0\x9f\x98\x80\xc3\xa9");
  EXPECT_EQ(ArquivoIni(servico_.Config()).LerTexto("Webhook", "Token", ""),
            "ç\xf0\x9f\x98\x80\xc3\xa9");
  EXPECT_EQ(ArquivoIni(servico_.Config()).LerTexto("Outra", "Chave", ""), "fica como está");
}

// The parser takes any depth, but writing a value back out recursed once per level: a member
// nested a few hundred thousand levels deep, in the message of a conversion failure, overflowed
// the stack of the worker and ended the service.
TEST_F(ApiHostil, AninhamentoProfundoNaoDerrubaOServico) {
  const int niveis = 200000;
  const std::string fundo = std::string(niveis, '[') + std::string(niveis, ']');
  auto r = Postar("/api/v1/balanca", R"({"Modelo":)" + fundo + "}");
  ASSERT_TRUE(r) << "o serviço caiu";
  EXPECT_EQ(r->status, 500);
  EXPECT_EQ(r->body,
            R"({"erro":"'[...]' n\u00E3o \u00E9 um valor inteiro v\u00E1lido para Modelo."})");
  r = Postar("/api/v1/service", R"({"AtivarLog":"S","Outro":)" + fundo + "}");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 500) << "\"S\" is no boolean of the API";
  r = Postar("/api/v1/service", R"({"AtivarLog":true,"Outro":)" + fundo + "}");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 201);
  r = Postar("/api/v1/service", fundo);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 500);
  EXPECT_EQ(r->body, "Internal Application Error");
  r = Postar("/api/v1/service", std::string(niveis, '{'));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 400);
  r = Postar("/api/v1/balanca", R"({"Modelo":[1,{"a":[2]}]})");
  ASSERT_TRUE(r);
  EXPECT_NE(r->body.find("[1,{\\\"a\\\":[2]}]"), std::string::npos) << r->body;
  EsperarAtendendo();
}

struct CasoNumero {
  const char* rota;
  const char* corpo;
  int status;
};

// Numbers past each type's range are a conversion failure (500), past the double range the
// body is not JSON (400); what is accepted is written back as JSON that parses.
TEST_F(ApiHostil, NumerosForaDeQualquerFaixa) {
  const CasoNumero casos[] = {
      {"/api/v1/balanca", R"({"BaudRate":1e400})", 400},
      {"/api/v1/balanca", R"({"BaudRate":4294967296})", 500},
      {"/api/v1/balanca", R"({"Modelo":-2147483649})", 500},
      {"/api/v1/balanca", R"({"Modelo":99999999999999999999999})", 500},
      {"/api/v1/balanca", R"({"PesoMinimoEnvioKG":"1e999"})", 500},
      {"/api/v1/service", R"({"AtivarLog":true,"IntervaloVerificaBalanca":2147483648})", 500},
      {"/api/v1/service", R"({"AtivarLog":1e308,"IntervaloVerificaBalanca":-2147483648})", 201},
      {"/api/v1/balanca", R"({"MargemToleranciaPesoKG":1.7976931348623157e308})", 201},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.corpo);
    auto r = Postar(caso.rota, caso.corpo);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, caso.status) << r->body;
    if (caso.status != 400) {
      EXPECT_TRUE(Json::accept(r->body)) << r->body;
    }
  }
  auto servico = Json::parse(servico_.Cliente().Get("/api/v1/service")->body);
  EXPECT_EQ(servico["IntervaloVerificaBalanca"], 5000);
  EXPECT_EQ(servico["AtivarLog"], true);
  auto balanca = Json::parse(servico_.Cliente().Get("/api/v1/balanca")->body);
  EXPECT_TRUE(std::isfinite(balanca["MargemToleranciaPesoKG"].get<double>()));
  EXPECT_GT(balanca["MargemToleranciaPesoKG"].get<double>(), 1.7e308);
  EsperarAtendendo();
}

}  // namespace
}  // namespace tarvex
