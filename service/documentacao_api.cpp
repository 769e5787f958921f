#include "service/documentacao_api.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

namespace tarvex {

namespace {

using Json = nlohmann::ordered_json;

Json EsquemaPropriedade(TipoJson tipo) {
  switch (tipo) {
    case TipoJson::Inteiro:
      return {{"type", "integer"}, {"format", "int32"}};
    case TipoJson::Real:
      return {{"type", "number"}, {"format", "double"}};
    case TipoJson::Logico:
      return {{"type", "boolean"}};
    case TipoJson::Texto:
      break;
  }
  return {{"type", "string"}};
}

Json Definicao(const TipoDocumentado& tipo) {
  Json propriedades = Json::object();
  for (const auto& propriedade : tipo.Propriedades) {
    propriedades[propriedade.Nome] = EsquemaPropriedade(propriedade.Tipo);
  }
  return {{"type", "object"}, {"properties", propriedades}};
}

Json Referencia(const TipoDocumentado& tipo) {
  return {{"$ref", "#/definitions/" + tipo.Nome}};
}

std::string MetodoEmMinusculas(std::string metodo) {
  std::transform(metodo.begin(), metodo.end(), metodo.begin(),
                 [](unsigned char letra) { return static_cast<char>(std::tolower(letra)); });
  return metodo;
}

std::string CaminhoRelativo(const std::string& caminho, const std::string& base) {
  if (base.empty() || caminho.rfind(base, 0) != 0) return caminho;
  std::string resto = caminho.substr(base.size());
  return resto.empty() || resto.front() != '/' ? "/" + resto : resto;
}

class Documento {
 public:
  Documento(const InformacaoApi& informacao, const std::string& caminhoBase) {
    raiz_["swagger"] = "2.0";
    raiz_["info"] = {{"title", informacao.Titulo}, {"version", informacao.Versao}};
    if (!caminhoBase.empty()) raiz_["basePath"] = caminhoBase;
    raiz_["tags"] = Json::array();
    raiz_["paths"] = Json::object();
    raiz_["definitions"] = Json::object();
  }

  void Acrescentar(const RotaDocumentada& rota, const std::string& caminhoBase) {
    const OperacaoDocumentada& operacao = rota.Operacao;
    Json json = {{"tags", {operacao.Tag}},
                 {"summary", operacao.Resumo},
                 {"description", operacao.Descricao}};
    if (operacao.Corpo) {
      json["consumes"] = {"application/json"};
      json["parameters"] = {{{"in", "body"},
                             {"name", operacao.Corpo->Nome},
                             {"description", operacao.Corpo->Descricao},
                             {"required", true},
                             {"schema", Usar(operacao.Corpo->Tipo)}}};
    }
    json["produces"] = {"application/json"};
    json["responses"] = Respostas(operacao.Respostas);
    AcrescentarTag(operacao.Tag);
    raiz_["paths"][CaminhoRelativo(rota.Caminho, caminhoBase)][MetodoEmMinusculas(rota.Metodo)] =
        std::move(json);
  }

  std::string Texto() const { return raiz_.dump(); }

 private:
  Json Usar(const TipoDocumentado& tipo) {
    if (!raiz_["definitions"].contains(tipo.Nome))
      raiz_["definitions"][tipo.Nome] = Definicao(tipo);
    return Referencia(tipo);
  }

  Json Respostas(const std::vector<RespostaDocumentada>& respostas) {
    Json json = Json::object();
    for (const auto& resposta : respostas) {
      Json descrita = {{"description", resposta.Descricao}};
      if (resposta.Corpo) descrita["schema"] = Usar(*resposta.Corpo);
      json[std::to_string(resposta.Status)] = std::move(descrita);
    }
    return json;
  }

  void AcrescentarTag(const std::string& tag) {
    Json& tags = raiz_["tags"];
    bool conhecida = std::any_of(tags.begin(), tags.end(),
                                 [&](const Json& existente) { return existente["name"] == tag; });
    if (!conhecida) tags.push_back({{"name", tag}});
  }

  Json raiz_;
};

}  // namespace

std::string GerarDocumentoSwagger(const InformacaoApi& informacao, const std::string& caminhoBase,
                                  const std::vector<RotaDocumentada>& rotas) {
  Documento documento(informacao, caminhoBase);
  for (const auto& rota : rotas) documento.Acrescentar(rota, caminhoBase);
  return documento.Texto();
}

std::string PaginaSwaggerUi(const std::string& pastaRecursos, const std::string& caminhoDocumento) {
  return R"(<!DOCTYPE html>
<html lang="pt-BR">
<head>
<meta charset="UTF-8">
<title>ServiceTarvex - API</title>
<link rel="stylesheet" type="text/css" href=")" +
         pastaRecursos + R"(swagger-ui.css">
<link rel="icon" type="image/png" href=")" +
         pastaRecursos + R"(favicon-32x32.png" sizes="32x32">
<link rel="icon" type="image/png" href=")" +
         pastaRecursos + R"(favicon-16x16.png" sizes="16x16">
<style>html { box-sizing: border-box; overflow-y: scroll; } body { margin: 0; background: #fafafa; }</style>
</head>
<body>
<div id="swagger-ui"></div>
<script src=")" +
         pastaRecursos + R"(swagger-ui-bundle.js" charset="UTF-8"></script>
<script src=")" +
         pastaRecursos + R"(swagger-ui-standalone-preset.js" charset="UTF-8"></script>
<script>
window.onload = function () {
  window.ui = SwaggerUIBundle({
    url: ")" +
         caminhoDocumento + R"(",
    dom_id: "#swagger-ui",
    deepLinking: true,
    validatorUrl: null,
    presets: [SwaggerUIBundle.presets.apis, SwaggerUIStandalonePreset],
    plugins: [SwaggerUIBundle.plugins.DownloadUrl],
    layout: "StandaloneLayout"
  });
};
</script>
</body>
</html>
)";
}

}  // namespace tarvex
