#pragma once

#include <cstdint>
#include <string>

#include "base/json_escrita.h"
#include "service/config.h"

namespace tarvex {

struct TPesoResponse {
  double Peso = 0;
  ObjetoJson ToJSON() const;
};

struct TAPIError {
  std::int32_t Codigo = 0;
  std::string Erro;
  ObjetoJson ToJSON() const;
};

// Copies of the configuration records taken when the answer is built.
struct TBalancaResponse {
  TConfigBalanca Config;
  ObjetoJson ToJSON() const;
};

struct TWebhookResponse {
  TConfigWebHook Config;
  ObjetoJson ToJSON() const;
};

struct TServiceResponse {
  TConfigService Config;
  ObjetoJson ToJSON() const;
};

}  // namespace tarvex
