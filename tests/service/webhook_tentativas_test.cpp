#include <string>
#include <thread>
#include <vector>

#include "tests/service/webhook_apoio.h"

namespace tarvex::teste {
namespace {

using TentativasWebhook = WebhookTeste;
using Strings = std::vector<std::string>;

const std::string kSemConexao = "Não foi possível conectar ao endereço";

TEST_F(TentativasWebhook, RespostaNao2xxTresTentativasComPausaEUmaLinha) {
  receptor_.Responder("/peso", RespostaReceptor{.status = 404, .corpo = "Recurso inexistente"});
  const auto pausa = OpcoesRapidas().pausaEntreTentativas;
  bool enviado = true;
  const auto duracao = Cronometrar([&] { enviado = EnviarPeso("livre", 1, 0); });

  EXPECT_FALSE(enviado);
  const auto recebidas = receptor_.Recebidas();
  ASSERT_EQ(recebidas.size(), 3u);
  EXPECT_GE(recebidas[1].chegada - recebidas[0].chegada, pausa);
  EXPECT_GE(recebidas[2].chegada - recebidas[1].chegada, pausa);
  EXPECT_GE(duracao, 3 * pausa);  // the last failed attempt is followed by a pause too
  EXPECT_EQ(recebidas[0].bruto, recebidas[2].bruto);
  EXPECT_FALSE(ConfigWebHook.Copia().APIOffline);
  EXPECT_EQ(Log(), Strings{"Peso da balança não foi enviado para API. Falha após 3 tentativas. "
                           "Resposta: 404 - Recurso inexistente"});
}

TEST_F(TentativasWebhook, SucessoNaSegundaTentativaParaSemPausa) {
  receptor_.Responder("/peso", {RespostaReceptor{.status = 500, .corpo = "ocupado"},
                                RespostaReceptor{.status = 201, .corpo = ""},
                                RespostaReceptor{.status = 500, .corpo = "nunca"}});
  const auto pausa = OpcoesRapidas().pausaEntreTentativas;
  bool enviado = false;
  const auto duracao = Cronometrar([&] { enviado = EnviarPeso("livre", 1, 0); });
  EXPECT_TRUE(enviado);
  EXPECT_EQ(receptor_.Quantidade(), 2u);
  EXPECT_GE(duracao, pausa);
  EXPECT_LT(duracao, 2 * pausa);
  EXPECT_EQ(Log(),
            Strings{"Peso enviado com sucesso para API na tentativa 2. Código Retorno: 201"});
}

TEST_F(TentativasWebhook, ConexaoRecusadaFicaOfflineEDepoisTentaUmaVez) {
  const std::string url = "127.0.0.1:" + std::to_string(PortaRecusada());
  AlterarWebhook([&](TConfigWebHook& c) { c.URL = url; });
  const auto pausa = OpcoesRapidas().pausaEntreTentativas;

  bool enviado = true;
  auto duracao = Cronometrar([&] { enviado = EnviarPeso("livre", 1, 0); });
  EXPECT_FALSE(enviado);
  EXPECT_GE(duracao, 3 * pausa);
  EXPECT_TRUE(ConfigWebHook.Copia().APIOffline);

  // Offline: one attempt, no pause, and the offline line is not repeated.
  duracao = Cronometrar([&] { enviado = EnviarPeso("livre", 1, 0); });
  EXPECT_FALSE(enviado);
  EXPECT_LT(duracao, pausa);
  EXPECT_FALSE(TestarAPI());

  const std::string falha =
      "Peso não foi enviado para API. Falha após 3 tentativas. Erro: " + kSemConexao;
  EXPECT_EQ(Log(), (Strings{"API(WebHook) está OffLine - URL: " + url + " - Erro: " + kSemConexao,
                            falha, falha}));
}

TEST_F(TentativasWebhook, PrimeiraTrocaDepoisDeOfflineAvisaOnlineUmaVezMesmoSem2xx) {
  const std::string recusada = "http://127.0.0.1:" + std::to_string(PortaRecusada());
  AlterarWebhook([&](TConfigWebHook& c) { c.URL = recusada; });
  EXPECT_FALSE(TestarAPI());
  ASSERT_TRUE(ConfigWebHook.Copia().APIOffline);

  receptor_.Responder("/peso", RespostaReceptor{.status = 404, .corpo = "nao"});
  AlterarWebhook([&](TConfigWebHook& c) { c.URL = receptor_.Endereco(); });
  EXPECT_FALSE(EnviarPeso("livre", 1, 0));
  EXPECT_EQ(receptor_.Quantidade(), 1u);  // still counted as offline when the send began
  EXPECT_FALSE(ConfigWebHook.Copia().APIOffline);
  EXPECT_FALSE(ConfigWebHook.Copia().APIOfflineOld);

  EXPECT_FALSE(EnviarPeso("livre", 1, 0));
  EXPECT_EQ(receptor_.Quantidade(), 4u);

  const std::string falha =
      "Peso da balança não foi enviado para API. Falha após 3 tentativas. Resposta: 404 - nao";
  EXPECT_EQ(Log(),
            (Strings{"API(WebHook) está OffLine - URL: " + recusada + " - Erro: " + kSemConexao,
                     "API(WebHook) está Online - URL: " + receptor_.Endereco(), falha, falha}));
}

TEST_F(TentativasWebhook, ProvaDoMonitorSoMudaOEstado) {
  receptor_.Responder("/TesteAPI", RespostaReceptor{.status = 500, .corpo = "erro"});
  EXPECT_FALSE(TestarAPI());
  EXPECT_FALSE(ConfigWebHook.Copia().APIOffline);
  receptor_.Responder("/TesteAPI", RespostaReceptor{.status = 204, .corpo = ""});
  EXPECT_TRUE(TestarAPI());
  EXPECT_EQ(receptor_.Quantidade(), 2u);
  EXPECT_EQ(Log(), Strings{});
}

TEST_F(TentativasWebhook, StatusSoQuandoMudaEOTesteResponde2xx) {
  AlterarBalanca([](TConfigBalanca& c) {
    c.Status = "Conectado";
    c.StatusOld = "Conectado";
  });
  EnviarStatus("inalterado");
  EXPECT_EQ(receptor_.Quantidade(), 0u);

  // The probe is answered, but not with 2xx: no notification, and the next call tries again.
  AlterarBalanca([](TConfigBalanca& c) { c.Status = "Desconectado"; });
  receptor_.Responder("/TesteAPI", {RespostaReceptor{.status = 503, .corpo = "manutencao"},
                                    RespostaReceptor{.status = 200, .corpo = ""}});
  EnviarStatus("caiu");
  EXPECT_EQ(receptor_.Quantidade(), 1u);
  EXPECT_EQ(ConfigBalanca.Copia().StatusOld, "Conectado");
  EXPECT_FALSE(ConfigWebHook.Copia().APIOffline);

  // A notification that fails is not repeated for the same status.
  receptor_.Responder("/status", RespostaReceptor{.status = 500, .corpo = "falhou"});
  EnviarStatus("caiu");
  EXPECT_EQ(ConfigBalanca.Copia().StatusOld, "Desconectado");
  EnviarStatus("caiu");
  AlterarBalanca([](TConfigBalanca& c) { c.Status = "Conectado"; });
  receptor_.Responder("/status", RespostaReceptor{.status = 200, .corpo = ""});
  EnviarStatus("voltou");

  std::vector<std::string> alvos;
  for (const auto& r : receptor_.Recebidas()) alvos.push_back(r.alvo);
  EXPECT_EQ(alvos, (Strings{"/TesteAPI", "/TesteAPI", "/status", "/status", "/status", "/TesteAPI",
                            "/status"}));
  EXPECT_EQ(Log(),
            (Strings{"Status da balança não foi enviado para API. Falha após 3 tentativas. "
                     "Resposta: 500 - falhou",
                     "Status enviado com sucesso para API na tentativa 1. Código Retorno: 200"}));
}

TEST_F(TentativasWebhook, StatusNaoSaiQuandoOTesteFalhaSemResposta) {
  const std::string url = "127.0.0.1:" + std::to_string(PortaRecusada());
  AlterarWebhook([&](TConfigWebHook& c) { c.URL = url; });
  AlterarBalanca([](TConfigBalanca& c) { c.Status = "Conectado"; });
  EnviarStatus("m");
  EXPECT_EQ(ConfigBalanca.Copia().StatusOld, "");
  EXPECT_EQ(Log(), Strings{"API(WebHook) está OffLine - URL: " + url + " - Erro: " + kSemConexao});
}

TEST(OpcoesClienteWebhook, PadroesDoServico) {
  const auto opcoes = OpcoesWebhook.Copia();
  EXPECT_EQ(opcoes.limiteConexao, std::chrono::seconds(5));
  EXPECT_EQ(opcoes.limiteTroca, std::chrono::seconds(15));
  EXPECT_EQ(opcoes.pausaEntreTentativas, std::chrono::seconds(1));
  EXPECT_EQ(opcoes.certificadosConfiaveis, "");
}

TEST_F(TentativasWebhook, EnderecoQueNuncaRespondeCustaOLimite) {
  receptor_.Responder("/TesteAPI", RespostaReceptor{.pendurar = true});
  const auto limite = OpcoesRapidas().limiteTroca;
  bool respondeu = true;
  const auto duracao = Cronometrar([&] { respondeu = TestarAPI(); });
  EXPECT_FALSE(respondeu);
  EXPECT_GE(duracao, limite);
  EXPECT_LT(duracao, limite + 1500ms);
  EXPECT_EQ(receptor_.Quantidade(), 1u);
  EXPECT_EQ(Log(), Strings{"API(WebHook) está OffLine - URL: " + receptor_.Endereco() +
                           " - Erro: Tempo esgotado aguardando a resposta"});
}

// The read time-out starts again with every byte; the whole exchange still has its limit.
TEST_F(TentativasWebhook, RespostaGotejadaTambemECortadaNoLimite) {
  receptor_.Responder("/TesteAPI",
                      RespostaReceptor{.corpo = std::string(60, 'x'), .gotejamento = 50ms});
  const auto limite = OpcoesRapidas().limiteTroca;
  bool respondeu = true;
  const auto duracao = Cronometrar([&] { respondeu = TestarAPI(); });
  EXPECT_FALSE(respondeu);
  EXPECT_GE(duracao, limite);
  EXPECT_LT(duracao, limite + 1500ms);
  EXPECT_TRUE(ConfigWebHook.Copia().APIOffline);
}

TEST_F(TentativasWebhook, RespostaLentaDentroDoLimiteEAceita) {
  receptor_.Responder("/TesteAPI", RespostaReceptor{.atraso = 200ms});
  EXPECT_TRUE(TestarAPI());
}

TEST_F(TentativasWebhook, ConexaoQueNaoCompletaCustaOLimiteDeConexao) {
  PortaSemAceite porta;
  const std::string url = "http://127.0.0.1:" + std::to_string(porta.Porta());
  AlterarWebhook([&](TConfigWebHook& c) { c.URL = url; });
  const auto limite = OpcoesRapidas().limiteConexao;
  bool respondeu = true;
  const auto duracao = Cronometrar([&] { respondeu = TestarAPI(); });
  EXPECT_FALSE(respondeu);
  EXPECT_GE(duracao, limite);
  EXPECT_LT(duracao, limite + 1500ms);
  EXPECT_EQ(Log(), Strings{"API(WebHook) está OffLine - URL: " + url +
                           " - Erro: Tempo esgotado ao conectar"});
}

// Every send has its own client: a slow endpoint does not make another send wait.
TEST_F(TentativasWebhook, EnviosSimultaneosNaoSeEsperam) {
  const auto atraso = 400ms;
  // Room for slow builds (sanitizers): no attempt may hit the exchange limit and be retried.
  OpcoesWebhook.Alterar([](OpcoesClienteWebhook& o) { o.limiteTroca = 5s; });
  receptor_.ResponderPadrao(RespostaReceptor{.atraso = atraso});
  const auto duracao = Cronometrar([] {
    std::vector<std::jthread> envios;
    for (int i = 0; i < 3; ++i) envios.emplace_back([] { EXPECT_TRUE(EnviarPeso("livre", 1, 0)); });
  });
  EXPECT_EQ(receptor_.Quantidade(), 3u);
  // All three reached the endpoint before the first answer: none waited for another.
  auto recebidas = receptor_.Recebidas();
  auto [primeira, ultima] =
      std::minmax_element(recebidas.begin(), recebidas.end(),
                          [](const auto& a, const auto& b) { return a.chegada < b.chegada; });
  EXPECT_LT(ultima->chegada - primeira->chegada, atraso);
  EXPECT_GE(duracao, atraso);
  EXPECT_EQ(Log().size(), 3u);
}

}  // namespace
}  // namespace tarvex::teste
