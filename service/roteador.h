#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "service/documentacao_api.h"

namespace tarvex {

// What a route handler sees of a request. The HTTP library's own types stay out of the handlers,
// so a handler can be exercised without a socket.
struct PedidoHttp {
  std::string Metodo;
  std::string Caminho;
  std::string Corpo;
};

struct RespostaHttp {
  // A handler that sets nothing answers 200 with an empty body.
  int Status = 200;
  // Empty: the server picks "text/plain" for a body and nothing for an empty one.
  std::string TipoConteudo;
  std::string Corpo;
  std::vector<std::pair<std::string, std::string>> Cabecalhos;

  void Responder(int status, std::string corpo, std::string tipoConteudo = {});
};

using TratadorHttp = std::function<void(const PedidoHttp&, RespostaHttp&)>;

// Routes by exact method and path, kept in registration order. Safe to consult from many
// threads; a handler runs with no lock held.
class Roteador {
 public:
  enum class Busca { Rota, CaminhoDesconhecido, MetodoNaoPermitido };

  // A second registration of the same method and path replaces the handler in its old place.
  void Registrar(const std::string& metodo, const std::string& caminho, TratadorHttp tratador,
                 std::optional<OperacaoDocumentada> documentacao = std::nullopt);
  void DefinirCaminhoBase(std::string caminho);

  Busca Procurar(const std::string& metodo, const std::string& caminho) const;
  // The route's answer; 404 and 405 when there is none; 500 when an error escapes a handler
  // that had not already answered with an error status.
  RespostaHttp Atender(const PedidoHttp& pedido) const;

  // Methods and paths of the routes whose requests carry a body to be read.
  std::vector<std::pair<std::string, std::string>> RotasComCorpo() const;
  std::string CaminhoBase() const;
  std::vector<RotaDocumentada> Documentadas() const;

 private:
  struct Rota {
    std::string Metodo;
    std::string Caminho;
    std::shared_ptr<const TratadorHttp> Tratador;
    std::optional<OperacaoDocumentada> Documentacao;
  };

  std::shared_ptr<const TratadorHttp> TratadorDe(const std::string& metodo,
                                                 const std::string& caminho) const;
  std::string MetodosDe(const std::string& caminho) const;

  mutable std::shared_mutex mutex_;
  std::vector<Rota> rotas_;
  std::string caminhoBase_;
};

// Methods whose requests may carry a body that the server reads.
bool MetodoComCorpo(const std::string& metodo);

RespostaHttp RespostaTexto(int status, std::string texto);

}  // namespace tarvex
