#include "service/roteador.h"

#include <algorithm>
#include <mutex>

namespace tarvex {

void RespostaHttp::Responder(int status, std::string corpo, std::string tipoConteudo) {
  Status = status;
  Corpo = std::move(corpo);
  TipoConteudo = std::move(tipoConteudo);
}

RespostaHttp RespostaTexto(int status, std::string texto) {
  RespostaHttp resposta;
  resposta.Responder(status, std::move(texto), "text/plain");
  return resposta;
}

bool MetodoComCorpo(const std::string& metodo) {
  return metodo == "POST" || metodo == "PUT" || metodo == "PATCH" || metodo == "DELETE";
}

void Roteador::Registrar(const std::string& metodo, const std::string& caminho,
                         TratadorHttp tratador, std::optional<OperacaoDocumentada> documentacao) {
  Rota nova{metodo, caminho, std::make_shared<const TratadorHttp>(std::move(tratador)),
            std::move(documentacao)};
  std::unique_lock trava(mutex_);
  auto existente = std::find_if(rotas_.begin(), rotas_.end(), [&](const Rota& rota) {
    return rota.Metodo == metodo && rota.Caminho == caminho;
  });
  if (existente != rotas_.end()) {
    *existente = std::move(nova);
  } else {
    rotas_.push_back(std::move(nova));
  }
}

void Roteador::DefinirCaminhoBase(std::string caminho) {
  std::unique_lock trava(mutex_);
  caminhoBase_ = std::move(caminho);
}

std::string Roteador::CaminhoBase() const {
  std::shared_lock trava(mutex_);
  return caminhoBase_;
}

std::shared_ptr<const TratadorHttp> Roteador::TratadorDe(const std::string& metodo,
                                                         const std::string& caminho) const {
  std::shared_lock trava(mutex_);
  for (const Rota& rota : rotas_) {
    if (rota.Metodo == metodo && rota.Caminho == caminho) return rota.Tratador;
  }
  return nullptr;
}

std::string Roteador::MetodosDe(const std::string& caminho) const {
  std::shared_lock trava(mutex_);
  std::string metodos;
  for (const Rota& rota : rotas_) {
    if (rota.Caminho != caminho) continue;
    if (!metodos.empty()) metodos += ", ";
    metodos += rota.Metodo;
  }
  return metodos;
}

Roteador::Busca Roteador::Procurar(const std::string& metodo, const std::string& caminho) const {
  if (TratadorDe(metodo, caminho)) return Busca::Rota;
  return MetodosDe(caminho).empty() ? Busca::CaminhoDesconhecido : Busca::MetodoNaoPermitido;
}

RespostaHttp Roteador::Atender(const PedidoHttp& pedido) const {
  auto tratador = TratadorDe(pedido.Metodo, pedido.Caminho);
  if (!tratador) {
    std::string permitidos = MetodosDe(pedido.Caminho);
    if (permitidos.empty()) return RespostaTexto(404, "Not Found");
    RespostaHttp resposta = RespostaTexto(405, "Method Not Allowed");
    resposta.Cabecalhos.emplace_back("Allow", permitidos);
    return resposta;
  }
  RespostaHttp resposta;
  try {
    (*tratador)(pedido, resposta);
  } catch (...) {
    if (resposta.Status < 400) return RespostaTexto(500, "Internal Application Error");
  }
  return resposta;
}

std::vector<std::pair<std::string, std::string>> Roteador::RotasComCorpo() const {
  std::shared_lock trava(mutex_);
  std::vector<std::pair<std::string, std::string>> rotas;
  for (const Rota& rota : rotas_) {
    if (MetodoComCorpo(rota.Metodo)) rotas.emplace_back(rota.Metodo, rota.Caminho);
  }
  return rotas;
}

std::vector<RotaDocumentada> Roteador::Documentadas() const {
  std::shared_lock trava(mutex_);
  std::vector<RotaDocumentada> documentadas;
  for (const Rota& rota : rotas_) {
    if (rota.Documentacao) documentadas.push_back({rota.Metodo, rota.Caminho, *rota.Documentacao});
  }
  return documentadas;
}

}  // namespace tarvex
