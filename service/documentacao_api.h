#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvex {

enum class TipoJson { Texto, Inteiro, Real, Logico };

struct PropriedadeDocumentada {
  std::string Nome;
  TipoJson Tipo;
};

// A body type as the API document describes it: its public properties, in declaration order.
struct TipoDocumentado {
  std::string Nome;
  std::vector<PropriedadeDocumentada> Propriedades;
};

struct RespostaDocumentada {
  int Status;
  std::string Descricao;
  std::optional<TipoDocumentado> Corpo;
};

// The required body parameter of an operation.
struct ParametroCorpo {
  std::string Nome;
  std::string Descricao;
  TipoDocumentado Tipo;
};

struct OperacaoDocumentada {
  std::string Tag;
  std::string Resumo;
  std::string Descricao;
  std::optional<ParametroCorpo> Corpo;
  std::vector<RespostaDocumentada> Respostas;
};

struct RotaDocumentada {
  std::string Metodo;
  std::string Caminho;
  OperacaoDocumentada Operacao;
};

struct InformacaoApi {
  std::string Titulo;
  std::string Versao;
};

// The Swagger 2.0 document of the routes, in their order. A route under `caminhoBase` is
// documented by its path relative to it.
std::string GerarDocumentoSwagger(const InformacaoApi& informacao, const std::string& caminhoBase,
                                  const std::vector<RotaDocumentada>& rotas);

// The viewer page. Every script, style and icon it loads comes from `pastaRecursos` on the same
// server, and the document from `caminhoDocumento`, so it works with no internet.
std::string PaginaSwaggerUi(const std::string& pastaRecursos, const std::string& caminhoDocumento);

}  // namespace tarvex
