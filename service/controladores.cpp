#include "service/controladores.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "base/conversoes.h"
#include "service/balanca.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "service/respostas.h"
#include "service/salvar_config.h"

namespace tarvex {
namespace {

using Json = nlohmann::json;

const char* const kJsonInvalido = "JSON inválido.";

class ErroConversao : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// dump() recurses once per level of nesting, and a body may nest as deep as its size allows:
// a value nested deeper than this is named by its kind only, so a client cannot exhaust the
// stack of the thread that answers it.
constexpr std::size_t kProfundidadeEscrita = 64;

bool RasoParaEscrever(const Json& valor) {
  std::vector<std::pair<const Json*, std::size_t>> pendentes{{&valor, 1}};
  while (!pendentes.empty()) {
    auto [atual, profundidade] = pendentes.back();
    pendentes.pop_back();
    if (!atual->is_structured()) continue;
    if (profundidade > kProfundidadeEscrita) return false;
    for (const Json& filho : *atual) pendentes.emplace_back(&filho, profundidade + 1);
  }
  return true;
}

// The JSON text of a value as a client sent it, for messages and for string members.
std::string TextoDoValor(const Json& valor) {
  if (valor.is_string()) return valor.get<std::string>();
  if (!RasoParaEscrever(valor)) return valor.is_array() ? "[...]" : "{...}";
  return valor.dump();
}

const Json* Membro(const Json& objeto, const char* nome) {
  auto it = objeto.find(nome);
  return it == objeto.end() || it->is_null() ? nullptr : &*it;
}

std::string LerTexto(const Json& objeto, const char* nome, const std::string& padrao) {
  const Json* v = Membro(objeto, nome);
  if (!v) return padrao;
  if (v->is_object() || v->is_array())
    throw ErroConversao("O valor de " + std::string(nome) + " não é um texto.");
  return TextoDoValor(*v);
}

std::int32_t LerInteiro(const Json& objeto, const char* nome, std::int32_t padrao) {
  const Json* v = Membro(objeto, nome);
  if (!v) return padrao;
  std::optional<std::int32_t> lido;
  if (v->is_number_integer() || v->is_number_unsigned() || v->is_string())
    lido = tarvex::LerInteiro(TextoDoValor(*v));
  if (!lido)
    throw ErroConversao("'" + TextoDoValor(*v) + "' não é um valor inteiro válido para " +
                        std::string(nome) + ".");
  return *lido;
}

bool LerLogico(const Json& objeto, const char* nome, bool padrao) {
  const Json* v = Membro(objeto, nome);
  if (!v) return padrao;
  if (v->is_boolean()) return v->get<bool>();
  if (v->is_number()) return v->get<double>() != 0;
  if (v->is_string()) {
    std::string texto = Aparar(v->get<std::string>());
    std::string maiusculo;
    for (char c : texto)
      maiusculo += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (maiusculo == "TRUE") return true;
    if (maiusculo == "FALSE") return false;
    if (auto numero = LerReal(texto, '.')) return *numero != 0;
  }
  throw ErroConversao("'" + TextoDoValor(*v) + "' não é um valor lógico válido para " +
                      std::string(nome) + ".");
}

double LerReal(const Json& objeto, const char* nome, double padrao) {
  const Json* v = Membro(objeto, nome);
  if (!v) return padrao;
  std::optional<double> lido;
  if (v->is_number()) lido = v->get<double>();
  if (v->is_string()) lido = tarvex::LerReal(v->get<std::string>(), '.');
  if (!lido || !std::isfinite(*lido))
    throw ErroConversao("'" + TextoDoValor(*v) + "' não é um número válido para " +
                        std::string(nome) + ".");
  return *lido;
}

RespostaApi Erro500(const std::string& mensagem) {
  return {500, "application/json",
          ObjetoJson().Texto("erro", mensagem).Escrever(FormaJson::ApiEscapada)};
}

// The frame of every POST: parse, refuse what is not JSON, give up on what is not an object,
// then read, assign and save under one error guard.
RespostaApi Cadastrar(const std::string& corpo,
                      const std::function<RespostaApi(const Json&)>& ler) {
  Json json = Json::parse(corpo, nullptr, false);
  if (json.is_discarded()) return {400, "application/json", kJsonInvalido};
  if (!json.is_object()) throw CorpoNaoObjeto();
  try {
    return ler(json);
  } catch (const std::exception& erro) {
    return Erro500(erro.what());
  }
}

template <class Resposta, class Registro>
RespostaApi Consultar(Registro& registro) {
  try {
    return {200, "application/json",
            Resposta{registro.Copia()}.ToJSON().Escrever(FormaJson::ApiEscapada)};
  } catch (const std::exception& erro) {
    return Erro500(erro.what());
  }
}

void LerBalanca(const Json& j) {
  // Each member is assigned as soon as it is read, so a later failure keeps the earlier ones.
  auto definir = [](auto campo, auto valor) {
    ConfigBalanca.Alterar([&](TConfigBalanca& b) { b.*campo = valor; });
  };
  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.PortaOld = b.Porta; });
  definir(&TConfigBalanca::IdBalanca, LerTexto(j, "IdBalanca", ""));
  definir(&TConfigBalanca::Modelo, LerInteiro(j, "Modelo", 0));
  definir(&TConfigBalanca::Porta, LerTexto(j, "Porta", ""));
  definir(&TConfigBalanca::BaudRate, LerInteiro(j, "BaudRate", 9600));
  definir(&TConfigBalanca::DataBits, LerInteiro(j, "DataBits", 8));
  definir(&TConfigBalanca::Parity, LerInteiro(j, "Parity", 0));
  definir(&TConfigBalanca::StopBits, LerInteiro(j, "StopBits", 0));
  definir(&TConfigBalanca::HandShake, LerInteiro(j, "HandShake", 0));
  definir(&TConfigBalanca::AtivarLogTxt, LerLogico(j, "AtivarLogTxt", false));
  definir(&TConfigBalanca::MonitorarBalanca, LerLogico(j, "MonitorarBalanca", false));
  definir(&TConfigBalanca::IntervaloMonitorarMs,
          InteiroPositivoOuPadrao(LerInteiro(j, "IntervaloMonitorarMs", 200), 200));
  definir(&TConfigBalanca::QtdTentativasLeituraErro,
          InteiroPositivoOuPadrao(LerInteiro(j, "QtdTentativasLeituraErro", 3), 3));
  definir(&TConfigBalanca::IntervaloTentativasLeitura,
          InteiroPositivoOuPadrao(LerInteiro(j, "IntervaloTentativasLeitura", 1000), 1000));
  definir(&TConfigBalanca::CompararPesoAnterior, LerLogico(j, "CompararPesoAnterior", false));
  definir(&TConfigBalanca::MargemToleranciaPesoKG,
          RealPositivoOuPadrao(0.0029999, LerReal(j, "MargemToleranciaPesoKG", 0.0029999)));
  definir(&TConfigBalanca::PesoMinimoEnvioKG,
          RealPositivoOuPadrao(0.005, LerReal(j, "PesoMinimoEnvioKG", 0.005)));
  definir(&TConfigBalanca::TimeOutLePeso,
          InteiroPositivoOuPadrao(LerInteiro(j, "TimeOutLePeso", 3000), 3000));
  definir(&TConfigBalanca::QtdConsistirPesoZeroMonitor,
          InteiroPositivoOuPadrao(LerInteiro(j, "QtdConsistirPesoZeroMonitor", 2), 2));
  definir(&TConfigBalanca::CaracterTerminator,
          TextoOuPadrao(LerTexto(j, "CaracterTerminator", "#3"), "#3"));
}

void LerWebhook(const Json& j) {
  auto definir = [](auto campo, auto valor) {
    ConfigWebHook.Alterar([&](TConfigWebHook& w) { w.*campo = valor; });
  };
  definir(&TConfigWebHook::IdIntegracao, LerTexto(j, "IdIntegracao", ""));
  definir(&TConfigWebHook::URL, LerTexto(j, "URL", ""));
  definir(&TConfigWebHook::Token, LerTexto(j, "Token", ""));
  definir(&TConfigWebHook::EndpointEnvioPeso, LerTexto(j, "EndpointEnvioPeso", ""));
  definir(&TConfigWebHook::EndpointEnvioStatus, LerTexto(j, "EndpointEnvioStatus", ""));
}

void LerService(const Json& j) {
  auto definir = [](auto campo, auto valor) {
    ConfigService.Alterar([&](TConfigService& s) { s.*campo = valor; });
  };
  definir(&TConfigService::AtivarLog, LerLogico(j, "AtivarLog", false));
  definir(&TConfigService::MonitorarBalancaManual, LerLogico(j, "MonitorarBalancaManual", false));
  definir(&TConfigService::IntervaloLeituraPesoMonitoraManual,
          InteiroPositivoOuPadrao(LerInteiro(j, "IntervaloLeituraPesoMonitoraManual", 300), 300));
  definir(&TConfigService::IntervaloPosEnvioPesoAPI,
          InteiroPositivoOuPadrao(LerInteiro(j, "IntervaloPosEnvioPesoAPI", 1500), 1500));
  definir(&TConfigService::IntervaloVerificaBalanca,
          InteiroPositivoOuPadrao(LerInteiro(j, "IntervaloVerificaBalanca", 5000), 5000));
  definir(&TConfigService::PeriodoArmazenamentoLog,
          InteiroPositivoOuPadrao(LerInteiro(j, "PeriodoArmazenamentoLog", 15), 15));
}

RespostaApi Mensagem(const char* texto) {
  return {201, "application/json",
          ObjetoJson().Texto("mensagem", texto).Escrever(FormaJson::ApiEscapada)};
}

}  // namespace

RespostaApi TPesoController::GetPeso() {
  auto balanca = BalancaService.Obter();
  double peso = balanca ? balanca->LerPeso("TPesoController", true) : -9;
  if (peso >= 0)
    return {200, "application/json", TPesoResponse{peso}.ToJSON().Escrever(FormaJson::ApiEscapada)};
  return {500, "application/json",
          CriarErroAPI(static_cast<std::int32_t>(peso)).ToJSON().Escrever(FormaJson::ApiEscapada)};
}

RespostaApi TBalancaController::GetBalanca() {
  return Consultar<TBalancaResponse>(ConfigBalanca);
}

RespostaApi TBalancaController::CadastrarBalanca(const std::string& corpo) {
  return Cadastrar(corpo, [](const Json& j) {
    LerBalanca(j);
    SalvarConfigBalanca();
    ObjetoJson resposta = TBalancaResponse{ConfigBalanca.Copia()}.ToJSON();
    resposta.Texto("mensagem", "Configuração da balança salva com sucesso.");
    return RespostaApi{201, "application/json", resposta.Escrever(FormaJson::ApiSimples)};
  });
}

RespostaApi TWebhookController::GetWebhook() {
  return Consultar<TWebhookResponse>(ConfigWebHook);
}

RespostaApi TWebhookController::CadastrarWebhook(const std::string& corpo) {
  return Cadastrar(corpo, [](const Json& j) {
    LerWebhook(j);
    SalvarConfigWebHook();
    return Mensagem("Configuração do Webhook salva com sucesso.");
  });
}

RespostaApi TServiceController::GetService() {
  return Consultar<TServiceResponse>(ConfigService);
}

RespostaApi TServiceController::CadastrarService(const std::string& corpo) {
  return Cadastrar(corpo, [](const Json& j) {
    LerService(j);
    SalvarConfigService();
    return Mensagem("Configuração do Service salva com sucesso.");
  });
}

namespace {

TratadorHttp Tratador(RespostaApi (*controlador)()) {
  return [controlador](const PedidoHttp&, RespostaHttp& resposta) {
    RespostaApi r = controlador();
    resposta.Responder(r.status, std::move(r.corpo), std::move(r.tipo));
  };
}

TratadorHttp Tratador(RespostaApi (*controlador)(const std::string&)) {
  return [controlador](const PedidoHttp& pedido, RespostaHttp& resposta) {
    RespostaApi r = controlador(pedido.Corpo);
    resposta.Responder(r.status, std::move(r.corpo), std::move(r.tipo));
  };
}

}  // namespace

TratadoresApi TratadoresDoServico() {
  TratadoresApi t;
  t.ParamUpdate = [](const PedidoHttp&, RespostaHttp&) { RecarregarParametros(); };
  t.GetPeso = Tratador(&TPesoController::GetPeso);
  t.GetBalanca = Tratador(&TBalancaController::GetBalanca);
  t.GetWebhook = Tratador(&TWebhookController::GetWebhook);
  t.GetService = Tratador(&TServiceController::GetService);
  t.CadastrarBalanca = Tratador(&TBalancaController::CadastrarBalanca);
  t.CadastrarWebhook = Tratador(&TWebhookController::CadastrarWebhook);
  t.CadastrarService = Tratador(&TServiceController::CadastrarService);
  return t;
}

}  // namespace tarvex
