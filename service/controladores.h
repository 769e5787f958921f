#pragma once

#include <stdexcept>
#include <string>

#include "service/server_initializer.h"

namespace tarvex {

// What a resource handler answers; the server copies it onto the HTTP response.
struct RespostaApi {
  int status = 200;
  std::string tipo = "application/json";
  std::string corpo;
};

// A POST body that is JSON but not an object: the handler gives up before its own error
// handling, and the server answers with its generic 500.
class CorpoNaoObjeto : public std::runtime_error {
 public:
  CorpoNaoObjeto() : std::runtime_error("O corpo da requisição não é um objeto JSON.") {}
};

struct TPesoController {
  static RespostaApi GetPeso();
};

struct TBalancaController {
  static RespostaApi GetBalanca();
  static RespostaApi CadastrarBalanca(const std::string& corpo);
};

struct TWebhookController {
  static RespostaApi GetWebhook();
  static RespostaApi CadastrarWebhook(const std::string& corpo);
};

struct TServiceController {
  static RespostaApi GetService();
  static RespostaApi CadastrarService(const std::string& corpo);
};

// The routes of the API bound to these controllers and to the parameter reload.
TratadoresApi TratadoresDoServico();

}  // namespace tarvex
