#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "service/server_initializer.h"
#include "tests/service/servidor_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::ordered_json;

// Every API handler answers with its own name, so a test sees which one ran.
TratadoresApi TratadoresNomeados() {
  auto nomeado = [](std::string nome) {
    return [nome](const PedidoHttp&, RespostaHttp& r) { r.Corpo = nome; };
  };
  return {nomeado("ParamUpdate"),      nomeado("GetPeso"),         nomeado("GetBalanca"),
          nomeado("GetWebhook"),       nomeado("GetService"),      nomeado("CadastrarBalanca"),
          nomeado("CadastrarWebhook"), nomeado("CadastrarService")};
}

// The values of the page's src="..." and href="..." attributes.
std::vector<std::string> Referencias(const std::string& pagina) {
  std::vector<std::string> valores;
  for (const std::string atributo : {" src=\"", " href=\""}) {
    for (auto inicio = pagina.find(atributo); inicio != std::string::npos;
         inicio = pagina.find(atributo, inicio + 1)) {
      auto valor = inicio + atributo.size();
      valores.push_back(pagina.substr(valor, pagina.find('"', valor) - valor));
    }
  }
  return valores;
}

class ServidorDocumentado : public ::testing::Test {
 protected:
  void Iniciar(const TratadoresApi& tratadores) {
    InitializeAPIs(alvo.servidor, tratadores);
    alvo.Escutar();
    cliente = std::make_unique<httplib::Client>("127.0.0.1", alvo.porta);
  }

  Json Documento() {
    auto r = cliente->Get("/swagger/doc/json");
    EXPECT_TRUE(r);
    if (!r) return {};
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Content-Type"), "application/json");
    return Json::parse(r->body);
  }

  teste::ServidorDeTeste alvo;
  std::unique_ptr<httplib::Client> cliente;
};

TEST_F(ServidorDocumentado, RotasDaApiChamamOsTratadoresDados) {
  Iniciar(TratadoresNomeados());
  const std::pair<const char*, const char*> gets[] = {{"/paramupdate", "ParamUpdate"},
                                                      {"/api/v1/peso", "GetPeso"},
                                                      {"/api/v1/balanca", "GetBalanca"},
                                                      {"/api/v1/webhook", "GetWebhook"},
                                                      {"/api/v1/service", "GetService"}};
  for (const auto& [caminho, nome] : gets) {
    auto r = cliente->Get(caminho);
    ASSERT_TRUE(r) << caminho;
    EXPECT_EQ(r->body, nome) << caminho;
  }
  const std::pair<const char*, const char*> posts[] = {{"/api/v1/balanca", "CadastrarBalanca"},
                                                       {"/api/v1/webhook", "CadastrarWebhook"},
                                                       {"/api/v1/service", "CadastrarService"}};
  for (const auto& [caminho, nome] : posts) {
    auto r = cliente->Post(caminho, "{}", "application/json");
    ASSERT_TRUE(r) << caminho;
    EXPECT_EQ(r->body, nome) << caminho;
  }
  auto r = cliente->Post("/paramupdate", "", "text/plain");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 405);
}

TEST_F(ServidorDocumentado, SemTratadoresSoHaTesteEDocumentacao) {
  Iniciar(TratadoresApi{});
  for (const char* caminho : {"/paramupdate", "/api/v1/peso", "/api/v1/service"}) {
    auto r = cliente->Get(caminho);
    ASSERT_TRUE(r) << caminho;
    EXPECT_EQ(r->status, 404) << caminho;
  }
  auto r = cliente->Get("/test");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
  Json documento = Documento();
  EXPECT_EQ(documento["swagger"], "2.0");
  EXPECT_TRUE(documento["paths"].empty()) << documento.dump();
}

TEST_F(ServidorDocumentado, DocumentoNomeiaAsSeteOperacoes) {
  Iniciar(TratadoresNomeados());
  Json documento = Documento();
  EXPECT_EQ(documento["swagger"], "2.0");
  EXPECT_EQ(documento["basePath"], "/api/v1");

  std::vector<std::string> caminhos;
  for (const auto& [caminho, operacoes] : documento["paths"].items()) caminhos.push_back(caminho);
  EXPECT_EQ(caminhos, (std::vector<std::string>{"/peso", "/balanca", "/webhook", "/service"}));

  struct Operacao {
    const char* caminho;
    const char* metodo;
    const char* tag;
    const char* resumo;
    const char* descricao;
    std::vector<std::string> respostas;
    const char* tipoResposta;  // of the first response; empty when it has none
  };
  const Operacao operacoes[] = {
      {"/peso",
       "get",
       "Balança",
       "Obter Peso",
       "Retorna o peso lido da balança",
       {"200", "500"},
       "TPesoResponse"},
      {"/balanca",
       "get",
       "Balança",
       "Obter Cadastro Balança",
       "Retorna o cadastro da balança",
       {"200", "500"},
       "TBalancaResponse"},
      {"/webhook",
       "get",
       "Webhook",
       "Obter Cadastro WebHook",
       "Retorna o cadastro do WebHook",
       {"200", "500"},
       "TWebhookResponse"},
      {"/service",
       "get",
       "Service",
       "Obter Cadastro Service",
       "Retorna o cadastro do Service",
       {"200", "500"},
       "TServiceResponse"},
      {"/balanca",
       "post",
       "Balança",
       "Cadastrar Balança",
       "Registra uma nova balança no sistema",
       {"201", "400", "500"},
       "TBalancaResponse"},
      {"/webhook",
       "post",
       "Webhook",
       "Cadastrar WebHook",
       "Registra dados de acesso ao WebHook",
       {"201", "400"},
       ""},
      {"/service",
       "post",
       "Service",
       "Configurar Service",
       "Configuração do serviço",
       {"201", "400"},
       ""},
  };
  for (const Operacao& o : operacoes) {
    SCOPED_TRACE(std::string(o.metodo) + " " + o.caminho);
    const Json& json = documento["paths"][o.caminho][o.metodo];
    EXPECT_EQ(json["tags"], Json::array({o.tag}));
    EXPECT_EQ(json["summary"], o.resumo);
    EXPECT_EQ(json["description"], o.descricao);
    std::vector<std::string> respostas;
    for (const auto& [status, resposta] : json["responses"].items()) respostas.push_back(status);
    EXPECT_EQ(respostas, o.respostas);
    const Json& primeira = json["responses"][o.respostas.front()];
    if (*o.tipoResposta) {
      EXPECT_EQ(primeira["schema"]["$ref"], std::string("#/definitions/") + o.tipoResposta);
    } else {
      EXPECT_FALSE(primeira.contains("schema"));
    }
  }

  const Json& corpo = documento["paths"]["/webhook"]["post"]["parameters"][0];
  EXPECT_EQ(corpo["in"], "body");
  EXPECT_EQ(corpo["name"], "Webhook data");
  EXPECT_EQ(corpo["description"], "Dados para configurar o Webhook");
  EXPECT_EQ(corpo["required"], true);
  EXPECT_EQ(corpo["schema"]["$ref"], "#/definitions/TWebhookResponse");
  EXPECT_FALSE(documento["paths"]["/peso"]["get"].contains("parameters"));
}

TEST_F(ServidorDocumentado, TiposDescritosPelasPropriedades) {
  Iniciar(TratadoresNomeados());
  Json definicoes = Documento()["definitions"];
  auto nomes = [&](const char* tipo) {
    std::vector<std::string> lista;
    for (const auto& [nome, esquema] : definicoes[tipo]["properties"].items())
      lista.push_back(nome);
    return lista;
  };
  EXPECT_EQ(nomes("TPesoResponse"), (std::vector<std::string>{"Peso"}));
  EXPECT_EQ(nomes("TBalancaResponse"), (std::vector<std::string>{"IdBalanca",
                                                                 "Modelo",
                                                                 "Porta",
                                                                 "BaudRate",
                                                                 "DataBits",
                                                                 "Parity",
                                                                 "StopBits",
                                                                 "HandShake",
                                                                 "AtivarLogTxt",
                                                                 "MonitorarBalanca",
                                                                 "IntervaloMonitorarMs",
                                                                 "QtdTentativasLeituraErro",
                                                                 "IntervaloTentativasLeitura",
                                                                 "CompararPesoAnterior",
                                                                 "MargemToleranciaPesoKG",
                                                                 "PesoMinimoEnvioKG",
                                                                 "TimeOutLePeso",
                                                                 "Status",
                                                                 "QtdConsistirPesoZeroMonitor",
                                                                 "CaracterTerminator",
                                                                 "Ocupacao"}));
  EXPECT_EQ(nomes("TWebhookResponse"),
            (std::vector<std::string>{"IdIntegracao", "URL", "Token", "EndpointEnvioPeso",
                                      "EndpointEnvioStatus"}));
  EXPECT_EQ(
      nomes("TServiceResponse"),
      (std::vector<std::string>{"Versao", "AtivarLog", "MonitorarBalancaManual",
                                "IntervaloLeituraPesoMonitoraManual", "IntervaloPosEnvioPesoAPI",
                                "IntervaloVerificaBalanca", "PeriodoArmazenamentoLog"}));
  const Json& balanca = definicoes["TBalancaResponse"]["properties"];
  EXPECT_EQ(balanca["IdBalanca"]["type"], "string");
  EXPECT_EQ(balanca["Modelo"]["type"], "integer");
  EXPECT_EQ(balanca["AtivarLogTxt"]["type"], "boolean");
  EXPECT_EQ(balanca["MargemToleranciaPesoKG"]["type"], "number");
  EXPECT_EQ(definicoes["TPesoResponse"]["properties"]["Peso"]["type"], "number");
}

TEST_F(ServidorDocumentado, PaginaCarregaTudoDoProprioServico) {
  Iniciar(TratadoresNomeados());
  auto pagina = cliente->Get("/swagger/doc/html");
  ASSERT_TRUE(pagina);
  EXPECT_EQ(pagina->status, 200);
  EXPECT_TRUE(pagina->get_header_value("Content-Type").starts_with("text/html"));
  EXPECT_EQ(pagina->body.find("http:"), std::string::npos);
  EXPECT_EQ(pagina->body.find("https:"), std::string::npos);
  EXPECT_NE(pagina->body.find("\"/swagger/doc/json\""), std::string::npos);

  std::set<std::string> tipos;
  int scripts = 0;
  for (const std::string& caminho : Referencias(pagina->body)) {
    SCOPED_TRACE(caminho);
    EXPECT_TRUE(caminho.starts_with("/swagger/doc/"));
    auto arquivo = cliente->Get(caminho);
    ASSERT_TRUE(arquivo);
    EXPECT_EQ(arquivo->status, 200);
    EXPECT_GT(arquivo->body.size(), 100u);
    tipos.insert(arquivo->get_header_value("Content-Type"));
    if (caminho.ends_with(".js")) ++scripts;
  }
  EXPECT_EQ(scripts, 2);
  EXPECT_EQ(tipos, (std::set<std::string>{"application/javascript", "text/css", "image/png"}));
}

}  // namespace
}  // namespace tarvex
