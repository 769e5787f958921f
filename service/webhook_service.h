#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "base/json_escrita.h"
#include "service/registro.h"

namespace tarvex {

// The webhook client: weight and status notifications and the endpoint probe, each a POST to
// ConfigWebHook.URL. Every call builds its own HTTP client, so sends on several threads may
// overlap. The endpoint's offline state lives in ConfigWebHook (APIOffline, APIOfflineOld).

// How the client waits. The defaults are the service's; tests shorten them.
struct OpcoesClienteWebhook {
  // After each failed attempt when more than one attempt is allowed.
  std::chrono::milliseconds pausaEntreTentativas{1000};
  // Longest wait for the connection to the endpoint.
  std::chrono::milliseconds limiteConexao{5000};
  // Longest time one attempt may take, from its start to the last byte of the answer.
  std::chrono::milliseconds limiteTroca{15000};
  // A PEM file of the certificates trusted for https; empty means the system's store.
  std::string certificadosConfiaveis;
};

extern Registro<OpcoesClienteWebhook> OpcoesWebhook;

// The address of a request: `url` trimmed, "http://" in front when it has no scheme, one
// trailing "/" removed, then `recurso` after a "/" unless it begins with "/", "?" or "#".
std::string UnirEndereco(const std::string& url, const std::string& recurso);

// Posts `corpo` (the webhook form of the object; no body when absent) to `url` + `recurso`.
// `tipo` ("Peso", "Status" or "TesteAPI") sets the attempts and starts the log lines. True when
// an attempt was answered with a 2xx code. Never throws.
bool EnviarParaAPI(const std::string& tipo, const std::string& url, const std::string& recurso,
                   const std::optional<ObjetoJson>& corpo);

// Records `ocupacao` in ConfigBalanca, then notifies the weight. False without a request when
// the address or the weight endpoint is blank.
bool EnviarPeso(const std::string& ocupacao, double peso, double pesoAnterior);

// Notifies ConfigBalanca.Status when it differs from the last status notified and the endpoint
// answers the probe.
void EnviarStatus(const std::string& mensagem);

// Probes the endpoint with one POST to "TesteAPI"; its effect on the offline state is logged.
bool TestarAPI();

}  // namespace tarvex
