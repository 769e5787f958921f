#include "service/webhook_service.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <thread>

#include "base/conversoes.h"
#include "service/config.h"
#include "service/logger.h"

namespace tarvex {

Registro<OpcoesClienteWebhook> OpcoesWebhook;

namespace {

const std::string kTesteAPI = "TesteAPI";

struct PedidoWebhook {
  std::string origem;   // scheme://host:port, what the client connects to
  std::string caminho;  // the rest of the address, sent on the request line
  httplib::Headers cabecalhos;
  std::string corpo;
};

struct ResultadoTentativa {
  int status = 0;
  std::string corpo;
  std::string erro;  // not empty when no answer was obtained
};

bool TemEsquema(const std::string& endereco) {
  const auto separador = endereco.find("://");
  if (separador == std::string::npos || separador == 0) return false;
  for (std::size_t i = 0; i < separador; ++i) {
    const auto c = static_cast<unsigned char>(endereco[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return std::isalpha(static_cast<unsigned char>(endereco[0])) != 0;
}

bool TemControleOuEspaco(const std::string& texto) {
  for (char c : texto)
    if (static_cast<unsigned char>(c) <= 32 || c == 127) return true;
  return false;
}

std::string Minusculas(std::string texto) {
  for (char& c : texto) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return texto;
}

// The client takes the origin and the path apart. A host with blanks or control characters is
// refused: it would be copied into the Host header and split the request.
PedidoWebhook SepararEndereco(const std::string& endereco) {
  const auto separador = endereco.find("://");
  const std::string esquema = Minusculas(endereco.substr(0, separador));
  if (esquema != "http" && esquema != "https")
    throw std::invalid_argument("Protocolo não suportado no endereço: " + endereco);
  const auto inicio = separador + 3;
  const auto fim = endereco.find_first_of("/?#", inicio);
  const std::string autoridade = endereco.substr(inicio, fim - inicio);
  if (autoridade.empty() || TemControleOuEspaco(autoridade))
    throw std::invalid_argument("Endereço inválido: " + endereco);
  std::string caminho = fim == std::string::npos ? "" : endereco.substr(fim);
  caminho.erase(std::min(caminho.find('#'), caminho.size()));
  if (caminho.empty() || caminho[0] != '/') caminho.insert(0, "/");
  return {esquema + "://" + autoridade, caminho, {}, {}};
}

// A line break in the token would add headers of its own to the request.
void ValidarToken(const std::string& token) {
  for (char c : token)
    if ((static_cast<unsigned char>(c) < 32 && c != '\t') || c == 127)
      throw std::invalid_argument("Token do webhook contém caracteres de controle");
}

PedidoWebhook PrepararPedido(const std::string& url, const std::string& recurso,
                             const std::string& token, const std::optional<ObjetoJson>& corpo) {
  if (Aparar(url).empty()) throw std::invalid_argument("URL do webhook não informada");
  PedidoWebhook pedido = SepararEndereco(UnirEndereco(url, recurso));
  pedido.cabecalhos.emplace("Accept-Charset", "UTF-8");
  if (!token.empty()) {
    ValidarToken(token);
    pedido.cabecalhos.emplace("Authorization", "Bearer " + token);
  }
  if (corpo) pedido.corpo = corpo->Escrever(FormaJson::Webhook);
  return pedido;
}

// Ends an attempt that outlives its limit. The client's read time-out alone starts again with
// every byte received, so an endpoint that trickles its answer would never be cut off.
class PrazoDaTroca {
 public:
  PrazoDaTroca(httplib::Client& cliente, std::chrono::milliseconds limite)
      : vigia_([&cliente, limite](std::stop_token parada) {
          std::mutex mutex;
          std::condition_variable_any aviso;
          std::unique_lock trava(mutex);
          if (!aviso.wait_for(trava, parada, limite, [&] { return parada.stop_requested(); }))
            cliente.stop();
        }) {}

 private:
  std::jthread vigia_;
};

std::string TextoDoErro(httplib::Error erro, bool prazoEsgotado) {
  switch (erro) {
    case httplib::Error::Connection:
      return "Não foi possível conectar ao endereço";
    case httplib::Error::ConnectionTimeout:
      return "Tempo esgotado ao conectar";
    case httplib::Error::Read:
      return prazoEsgotado ? "Tempo esgotado aguardando a resposta" : "Falha ao ler a resposta";
    case httplib::Error::Write:
      return "Falha ao enviar a requisição";
    case httplib::Error::SSLConnection:
      return "Falha na conexão segura (SSL)";
    case httplib::Error::SSLLoadingCerts:
      return "Falha ao carregar os certificados confiáveis";
    case httplib::Error::SSLServerVerification:
      return "Certificado do servidor não reconhecido";
    default:
      return "Falha no envio: " + httplib::to_string(erro);
  }
}

ResultadoTentativa Tentar(const PedidoWebhook& pedido, const OpcoesClienteWebhook& opcoes) {
  try {
    httplib::Client cliente(pedido.origem);
    cliente.set_connection_timeout(opcoes.limiteConexao);
    cliente.set_read_timeout(opcoes.limiteTroca);
    cliente.set_write_timeout(opcoes.limiteTroca);
    if (!opcoes.certificadosConfiaveis.empty())
      cliente.set_ca_cert_path(opcoes.certificadosConfiaveis);
    const auto inicio = std::chrono::steady_clock::now();
    httplib::Result resultado = [&] {
      PrazoDaTroca prazo(cliente, opcoes.limiteTroca);
      return cliente.Post(pedido.caminho, pedido.cabecalhos, pedido.corpo, "application/json");
    }();
    if (resultado) return {resultado->status, resultado->body, {}};
    const bool esgotado = std::chrono::steady_clock::now() - inicio >= opcoes.limiteTroca;
    return {0, {}, TextoDoErro(resultado.error(), esgotado)};
  } catch (const std::exception& e) {
    return {0, {}, e.what()};
  } catch (...) {
    return {0, {}, "Falha desconhecida no envio"};
  }
}

void MarcarOnline() {
  std::string url;
  const bool estavaOffline = ConfigWebHook.Alterar([&url](TConfigWebHook& c) {
    c.APIOffline = false;
    url = c.URL;
    return std::exchange(c.APIOfflineOld, false);
  });
  if (estavaOffline) GravarLog("API(WebHook) está Online - URL: " + url);
}

void MarcarOffline(const std::string& erro) {
  std::string url;
  const bool estavaOnline = ConfigWebHook.Alterar([&url](TConfigWebHook& c) {
    c.APIOffline = true;
    url = c.URL;
    return !std::exchange(c.APIOfflineOld, true);
  });
  if (estavaOnline) GravarLog("API(WebHook) está OffLine - URL: " + url + " - Erro: " + erro);
}

bool Sucesso(int status) {
  return status >= 200 && status <= 299;
}

ObjetoJson CorpoPeso(const std::string& ocupacao, double peso, double pesoAnterior,
                     const TConfigWebHook& webhook) {
  const auto service = ConfigService.Copia();
  const auto balanca = ConfigBalanca.Copia();
  ObjetoJson corpo;
  corpo.Texto("versao", service.Versao)
      .Texto("idintegracao", webhook.IdIntegracao)
      .Texto("idbalanca", balanca.IdBalanca)
      .Numero("peso", peso)
      .Numero("pesoAnterior", pesoAnterior)
      .Logico("compararPesoAnterior", balanca.CompararPesoAnterior);
  if (!ocupacao.empty()) corpo.Texto("ocupacaoBalanca", ocupacao);
  corpo.Texto("monitorarBalanca", service.MonitorarBalancaManual ? "Servico" : "Balanca");
  return corpo;
}

// Takes the status being notified as the last one notified, and builds its body from the
// same snapshot, so the body and StatusOld always agree.
ObjetoJson AssumirStatus(const std::string& mensagem, const TConfigWebHook& webhook) {
  const auto balanca = ConfigBalanca.Alterar([](TConfigBalanca& c) {
    c.StatusOld = c.Status;
    return c;
  });
  ObjetoJson corpo;
  corpo.Texto("versao", ConfigService.Copia().Versao)
      .Texto("idintegracao", webhook.IdIntegracao)
      .Texto("idbalanca", balanca.IdBalanca)
      .Texto("status", balanca.Status)
      .Texto("ocupacao", balanca.Ocupacao)
      .Texto("mensagem", mensagem);
  return corpo;
}

}  // namespace

std::string UnirEndereco(const std::string& url, const std::string& recurso) {
  std::string base = Aparar(url);
  if (!TemEsquema(base)) base.insert(0, "http://");
  if (base.back() == '/') base.pop_back();
  const bool juntoDaBase =
      !recurso.empty() && std::string_view("/?#").find(recurso[0]) != std::string_view::npos;
  return base + (juntoDaBase ? "" : "/") + recurso;
}

bool EnviarParaAPI(const std::string& tipo, const std::string& url, const std::string& recurso,
                   const std::optional<ObjetoJson>& corpo) {
  const auto opcoes = OpcoesWebhook.Copia();
  const auto webhook = ConfigWebHook.Copia();
  const int tentativas = (tipo == kTesteAPI || webhook.APIOffline) ? 1 : 3;
  bool ok = false;
  std::string erro;
  ResultadoTentativa ultima;
  try {
    const PedidoWebhook pedido = PrepararPedido(url, recurso, webhook.Token, corpo);
    for (int i = 1; i <= tentativas; ++i) {
      ultima = Tentar(pedido, opcoes);
      if (!ultima.erro.empty()) {
        erro = ultima.erro;
      } else {
        MarcarOnline();
        if (Sucesso(ultima.status)) {
          ok = true;
          if (tipo != kTesteAPI)
            GravarLog(tipo + " enviado com sucesso para API na tentativa " + std::to_string(i) +
                      ". Código Retorno: " + std::to_string(ultima.status));
          break;
        }
      }
      if (tentativas > 1) std::this_thread::sleep_for(opcoes.pausaEntreTentativas);
    }
  } catch (const std::exception& e) {
    erro = e.what();
  }
  if (ok) return true;
  if (ultima.status <= 0 || !erro.empty()) MarcarOffline(erro);
  if (tipo == kTesteAPI) return false;
  if (!erro.empty())
    GravarLog(tipo + " não foi enviado para API. Falha após 3 tentativas. Erro: " + erro);
  else
    GravarLog(tipo + " da balança não foi enviado para API. Falha após 3 tentativas. Resposta: " +
              std::to_string(ultima.status) + " - " + ultima.corpo);
  return false;
}

bool EnviarPeso(const std::string& ocupacao, double peso, double pesoAnterior) {
  ConfigBalanca.Alterar([&ocupacao](TConfigBalanca& c) { c.Ocupacao = ocupacao; });
  const auto webhook = ConfigWebHook.Copia();
  if (Aparar(webhook.URL).empty() || Aparar(webhook.EndpointEnvioPeso).empty()) return false;
  return EnviarParaAPI("Peso", webhook.URL, webhook.EndpointEnvioPeso,
                       CorpoPeso(ocupacao, peso, pesoAnterior, webhook));
}

void EnviarStatus(const std::string& mensagem) {
  const auto webhook = ConfigWebHook.Copia();
  if (webhook.EndpointEnvioStatus.empty() || webhook.URL.empty()) return;
  const auto balanca = ConfigBalanca.Copia();
  if (balanca.Status == balanca.StatusOld) return;
  if (!TestarAPI()) return;
  EnviarParaAPI("Status", webhook.URL, webhook.EndpointEnvioStatus,
                AssumirStatus(mensagem, webhook));
}

bool TestarAPI() {
  const std::string url = ConfigWebHook.Copia().URL;
  if (url.empty()) return false;
  return EnviarParaAPI(kTesteAPI, url, kTesteAPI, std::nullopt);
}

}  // namespace tarvex
