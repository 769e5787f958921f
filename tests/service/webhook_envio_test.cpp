#include <string>
#include <vector>

#include "tests/service/webhook_apoio.h"

namespace tarvex::teste {
namespace {

using EnvioWebhook = WebhookTeste;
using Strings = std::vector<std::string>;

struct CasoPeso {
  const char* legenda;
  double peso, pesoAnterior;
  std::string ocupacao;
  bool monitorManual, compararAnterior;
  std::string corpo;
};

TEST_F(EnvioWebhook, CorpoDoPesoEOPedidoInteiro) {
  AlterarBalanca([](TConfigBalanca& c) { c.IdBalanca = "Balança \"A\"/1\t"; });
  const std::string inicio =
      R"({"versao":"1.0.0.0","idintegracao":"INT-7","idbalanca":"Balança \"A\"\/1\t",)";
  const CasoPeso casos[] = {
      {"balanca ocupada", 12.5, 0, "ocupado", false, true,
       inicio + R"("peso":12.5,"pesoAnterior":0,"compararPesoAnterior":true,)"
                R"("ocupacaoBalanca":"ocupado","monitorarBalanca":"Balanca"})"},
      {"monitor do servico", 3.025, -9, "livre", true, false,
       inicio + R"("peso":3.025,"pesoAnterior":-9,"compararPesoAnterior":false,)"
                R"("ocupacaoBalanca":"livre","monitorarBalanca":"Servico"})"},
      {"sem ocupacao, numeros pequenos", 0.000001, 0.00001, "", false, false,
       inicio + R"("peso":1E-6,"pesoAnterior":0.00001,"compararPesoAnterior":false,)"
                R"("monitorarBalanca":"Balanca"})"},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.legenda);
    ConfigService.Alterar(
        [&](TConfigService& c) { c.MonitorarBalancaManual = caso.monitorManual; });
    AlterarBalanca([&](TConfigBalanca& c) {
      c.CompararPesoAnterior = caso.compararAnterior;
      c.Ocupacao = "valor anterior";
    });
    const std::size_t antes = receptor_.Quantidade();
    EXPECT_TRUE(EnviarPeso(caso.ocupacao, caso.peso, caso.pesoAnterior));
    ASSERT_EQ(receptor_.Quantidade(), antes + 1);
    EXPECT_EQ(receptor_.Recebidas().back().bruto, PedidoEsperado("/peso", caso.corpo));
    EXPECT_EQ(ConfigBalanca.Copia().Ocupacao, caso.ocupacao);
  }
  EXPECT_EQ(Log(),
            Strings(3, "Peso enviado com sucesso para API na tentativa 1. Código Retorno: 200"));
}

TEST_F(EnvioWebhook, StatusVaiDepoisDoTesteComCorpoInteiro) {
  receptor_.Responder("/status", RespostaReceptor{.status = 202, .corpo = "aceito"});
  AlterarBalanca([](TConfigBalanca& c) {
    c.Status = "Conectado";
    c.Ocupacao = "livre";
  });
  const std::string mensagem = "BALANÇA: Serviço conectado com a porta: /dev/ttyUSB0\r\n";
  EnviarStatus(mensagem);

  const auto recebidas = receptor_.Recebidas();
  ASSERT_EQ(recebidas.size(), 2u);
  EXPECT_EQ(recebidas[0].bruto, PedidoEsperado("/TesteAPI", ""));
  EXPECT_EQ(recebidas[1].bruto,
            PedidoEsperado(
                "/status",
                R"({"versao":"1.0.0.0","idintegracao":"INT-7","idbalanca":"BAL-01",)"
                R"("status":"Conectado","ocupacao":"livre",)"
                R"("mensagem":"BALANÇA: Serviço conectado com a porta: \/dev\/ttyUSB0\r\n"})"));
  EXPECT_EQ(ConfigBalanca.Copia().StatusOld, "Conectado");
  EXPECT_EQ(Log(),
            Strings{"Status enviado com sucesso para API na tentativa 1. Código Retorno: 202"});
}

TEST_F(EnvioWebhook, StatusSemOcupacaoLevaOMembroVazio) {
  AlterarBalanca([](TConfigBalanca& c) { c.Status = "Desconectado"; });
  EnviarStatus("");
  ASSERT_EQ(receptor_.Quantidade(), 2u);
  EXPECT_EQ(receptor_.Recebidas()[1].corpo,
            R"({"versao":"1.0.0.0","idintegracao":"INT-7","idbalanca":"BAL-01",)"
            R"("status":"Desconectado","ocupacao":"","mensagem":""})");
}

TEST_F(EnvioWebhook, SemTokenNaoHaAuthorization) {
  AlterarWebhook([](TConfigWebHook& c) {
    c.Token = "";
    c.IdIntegracao = "";
  });
  EXPECT_TRUE(TestarAPI());
  EXPECT_TRUE(EnviarPeso("livre", 0, 0));
  const auto recebidas = receptor_.Recebidas();
  ASSERT_EQ(recebidas.size(), 2u);
  EXPECT_EQ(recebidas[0].bruto, PedidoEsperado("/TesteAPI", "", ""));
  EXPECT_EQ(recebidas[1].bruto,
            PedidoEsperado("/peso",
                           R"({"versao":"1.0.0.0","idintegracao":"","idbalanca":"BAL-01",)"
                           R"("peso":0,"pesoAnterior":0,"compararPesoAnterior":false,)"
                           R"("ocupacaoBalanca":"livre","monitorarBalanca":"Balanca"})",
                           ""));
}

TEST_F(EnvioWebhook, TokenVaiComoEstaSemCodificacao) {
  AlterarWebhook([](TConfigWebHook& c) { c.Token = "a b+c/d=%20é"; });
  EXPECT_TRUE(TestarAPI());
  ASSERT_EQ(receptor_.Quantidade(), 1u);
  EXPECT_EQ(receptor_.Recebidas()[0].bruto, PedidoEsperado("/TesteAPI", "", "a b+c/d=%20é"));
}

struct CasoEndereco {
  std::string url;  // "@" stands for 127.0.0.1:<porta>
  std::string recurso;
  std::string alvo;
};

TEST_F(EnvioWebhook, EnderecoEORecursoSeJuntam) {
  const CasoEndereco casos[] = {
      {"@", "peso", "/peso"},
      {"http://@/", "peso", "/peso"},
      {"http://@/api/", "/peso", "/api/peso"},
      {"http://@/api", "peso", "/api/peso"},
      {"http://@/api//", "peso", "/api//peso"},
      {"  @/api\t", "v1/peso?lote=1", "/api/v1/peso?lote=1"},
      {"HTTP://@", "peso", "/peso"},
      {"http://@/api", "?lote=2", "/api?lote=2"},
      {"http://@/api", "#parte", "/api"},
      {"@/api", "pesos/balança 1", "/api/pesos/balan%C3%A7a%201"},
  };
  const std::string hospedeiro = "127.0.0.1:" + std::to_string(receptor_.Porta());
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.url + " + " + caso.recurso);
    std::string url = caso.url;
    url.replace(url.find('@'), 1, hospedeiro);
    AlterarWebhook([&](TConfigWebHook& c) {
      c.URL = url;
      c.EndpointEnvioPeso = caso.recurso;
    });
    const std::size_t antes = receptor_.Quantidade();
    EXPECT_TRUE(EnviarPeso("livre", 1, 0));
    ASSERT_EQ(receptor_.Quantidade(), antes + 1);
    EXPECT_EQ(receptor_.Recebidas().back().alvo, caso.alvo);
  }
}

TEST(UnirEndereco, SemEsquemaGanhaHttp) {
  EXPECT_EQ(UnirEndereco("exemplo.com.br", "peso"), "http://exemplo.com.br/peso");
  EXPECT_EQ(UnirEndereco("exemplo.com.br/r?url=http://x", "p"),
            "http://exemplo.com.br/r?url=http://x/p");
  EXPECT_EQ(UnirEndereco("https://exemplo.com.br/", "/peso"), "https://exemplo.com.br/peso");
}

TEST_F(EnvioWebhook, EnderecoOuRecursoEmBrancoNaoEnvia) {
  AlterarWebhook([](TConfigWebHook& c) { c.EndpointEnvioPeso = " \t"; });
  EXPECT_FALSE(EnviarPeso("ocupado", 5, 0));
  EXPECT_EQ(ConfigBalanca.Copia().Ocupacao, "ocupado");

  // The status endpoint alone still works.
  AlterarBalanca([](TConfigBalanca& c) { c.Status = "Conectado"; });
  EnviarStatus("m");
  EXPECT_EQ(receptor_.Quantidade(), 2u);

  AlterarWebhook([](TConfigWebHook& c) {
    c.URL = "";
    c.EndpointEnvioPeso = "peso";
  });
  AlterarBalanca([](TConfigBalanca& c) { c.Status = "Desconectado"; });
  EXPECT_FALSE(EnviarPeso("", 5, 0));
  EXPECT_EQ(ConfigBalanca.Copia().Ocupacao, "");
  EnviarStatus("m");
  EXPECT_FALSE(TestarAPI());
  EXPECT_EQ(ConfigBalanca.Copia().StatusOld, "Conectado");

  AlterarWebhook([](TConfigWebHook& c) { c.URL = "   "; });
  EXPECT_FALSE(EnviarPeso("livre", 5, 0));

  EXPECT_EQ(receptor_.Quantidade(), 2u);
  EXPECT_FALSE(ConfigWebHook.Copia().APIOffline);
  EXPECT_EQ(Log(),
            Strings{"Status enviado com sucesso para API na tentativa 1. Código Retorno: 200"});
}

// A line break in the token would let it write headers of its own into the request.
TEST_F(EnvioWebhook, TokenComQuebraDeLinhaERecusado) {
  AlterarWebhook([](TConfigWebHook& c) { c.Token = "abc\r\nX-Injetado: sim"; });
  EXPECT_FALSE(EnviarPeso("livre", 5, 0));
  EXPECT_EQ(receptor_.Quantidade(), 0u);
  EXPECT_TRUE(ConfigWebHook.Copia().APIOffline);
  const std::string erro = "Token do webhook contém caracteres de controle";
  EXPECT_EQ(
      Log(),
      (Strings{"API(WebHook) está OffLine - URL: " + receptor_.Endereco() + " - Erro: " + erro,
               "Peso não foi enviado para API. Falha após 3 tentativas. Erro: " + erro}));
}

TEST_F(EnvioWebhook, EsquemaDesconhecidoEErroSemPedido) {
  AlterarWebhook([](TConfigWebHook& c) { c.URL = "ftp://127.0.0.1:21"; });
  EXPECT_FALSE(TestarAPI());
  EXPECT_TRUE(ConfigWebHook.Copia().APIOffline);
  EXPECT_EQ(Log(), Strings{"API(WebHook) está OffLine - URL: ftp://127.0.0.1:21 - Erro: Protocolo "
                           "não suportado no endereço: ftp://127.0.0.1:21/TesteAPI"});
}

TEST(EnvioWebhookSeguro, HttpsComCertificadoConfiavel) {
  ReceptorWebhook receptor(ReceptorWebhook::Transporte::Https);
  PastaTemporaria pasta;
  auto logger = std::make_shared<TLogger>(ldFile, pasta.Caminho().string() + "/", "");
  LogServico.Definir(logger);
  auto opcoes = OpcoesRapidas();
  opcoes.limiteTroca = 3s;  // the handshake is slow under the sanitizers
  OpcoesWebhook.Definir(opcoes);
  TConfigWebHook webhook;
  webhook.URL = receptor.Endereco() + "/";
  webhook.EndpointEnvioPeso = "peso";
  ConfigWebHook.Definir(webhook);

  // The system's store does not know the receiver's certificate: the send must fail.
  EXPECT_FALSE(TestarAPI());
  EXPECT_EQ(receptor.Quantidade(), 0u);

  opcoes.certificadosConfiaveis = receptor.Certificado().string();
  OpcoesWebhook.Definir(opcoes);
  EXPECT_TRUE(EnviarPeso("livre", 2.5, 0));
  ASSERT_EQ(receptor.Quantidade(), 1u);
  EXPECT_EQ(
      receptor.Recebidas()[0].corpo,
      R"({"versao":"","idintegracao":"","idbalanca":"","peso":2.5,"pesoAnterior":0,)"
      R"("compararPesoAnterior":false,"ocupacaoBalanca":"livre","monitorarBalanca":"Balanca"})");
  const auto linhas = Linhas(LerArquivo(logger->ArquivoDoDia()));
  ASSERT_EQ(linhas.size(), 3u);
  EXPECT_NE(linhas[0].find("API(WebHook) está OffLine - URL: " + webhook.URL +
                           " - Erro: Certificado do servidor não reconhecido"),
            std::string::npos);
  EXPECT_NE(linhas[1].find("API(WebHook) está Online - URL: " + webhook.URL), std::string::npos);

  LogServico.Retirar();
  OpcoesWebhook.Definir({});
  ConfigWebHook.Definir({});
}

}  // namespace
}  // namespace tarvex::teste
