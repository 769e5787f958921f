#include "base/json_escrita.h"

#include <cmath>

#include "base/conversoes.h"

namespace tarvex {
namespace {

constexpr char32_t kSubstituto = 0xFFFD;

bool EhContinuacao(unsigned char c, unsigned char minimo = 0x80, unsigned char maximo = 0xBF) {
  return c >= minimo && c <= maximo;
}

// Decodes the code point at `pos` and moves past it. An invalid sequence gives U+FFFD and moves
// past its maximal valid beginning only, so the byte that broke it starts the next character.
// The ranges of the second byte rule out overlong forms, surrogates and values above U+10FFFF.
char32_t LerCaractere(std::string_view texto, std::size_t& pos) {
  const auto lider = static_cast<unsigned char>(texto[pos++]);
  if (lider < 0x80) return lider;
  int seguintes = 0;
  unsigned char minimo = 0x80, maximo = 0xBF;
  char32_t valor = 0;
  if (lider >= 0xC2 && lider <= 0xDF) {
    seguintes = 1;
    valor = lider & 0x1Fu;
  } else if (lider >= 0xE0 && lider <= 0xEF) {
    seguintes = 2;
    valor = lider & 0x0Fu;
    if (lider == 0xE0) minimo = 0xA0;
    if (lider == 0xED) maximo = 0x9F;
  } else if (lider >= 0xF0 && lider <= 0xF4) {
    seguintes = 3;
    valor = lider & 0x07u;
    if (lider == 0xF0) minimo = 0x90;
    if (lider == 0xF4) maximo = 0x8F;
  } else {
    return kSubstituto;
  }
  for (int i = 0; i < seguintes; ++i) {
    if (pos >= texto.size()) return kSubstituto;
    const auto c = static_cast<unsigned char>(texto[pos]);
    if (i == 0 ? !EhContinuacao(c, minimo, maximo) : !EhContinuacao(c)) return kSubstituto;
    valor = (valor << 6) | (c & 0x3Fu);
    ++pos;
  }
  return valor;
}

void AcrescentarUtf8(std::string& saida, char32_t c) {
  auto byte = [&saida](char32_t v) { saida += static_cast<char>(v); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | (c >> 6));
    byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    byte(0xE0 | (c >> 12));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | (c >> 18));
    byte(0x80 | ((c >> 12) & 0x3F));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  }
}

void AcrescentarUnidade(std::string& saida, char32_t unidade) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  saida += "\\u";
  for (int deslocamento = 12; deslocamento >= 0; deslocamento -= 4)
    saida += kHex[(unidade >> deslocamento) & 0xF];
}

void AcrescentarUtf16Escapado(std::string& saida, char32_t c) {
  if (c < 0x10000) {
    AcrescentarUnidade(saida, c);
    return;
  }
  c -= 0x10000;
  AcrescentarUnidade(saida, 0xD800 + (c >> 10));
  AcrescentarUnidade(saida, 0xDC00 + (c & 0x3FF));
}

// The short escapes every form shares; 0 when the character has none.
char EscapeCurto(char32_t c) {
  switch (c) {
    case '"':
      return '"';
    case '\\':
      return '\\';
    case '/':
      return '/';
    case '\b':
      return 'b';
    case '\t':
      return 't';
    case '\n':
      return 'n';
    case '\f':
      return 'f';
    case '\r':
      return 'r';
    default:
      return 0;
  }
}

void AcrescentarCaractere(std::string& saida, char32_t c, FormaJson forma) {
  if (char escape = EscapeCurto(c)) {
    saida += '\\';
    saida += escape;
  } else if (c < 0x20 || (c > 0x7F && forma == FormaJson::ApiEscapada)) {
    AcrescentarUtf16Escapado(saida, c);
  } else {
    AcrescentarUtf8(saida, c);
  }
}

int MenorExpoenteFixo(FormaJson forma) {
  return forma == FormaJson::Webhook ? -5 : -4;
}

}  // namespace

std::string TextoJson(std::string_view texto, FormaJson forma) {
  std::string saida = "\"";
  saida.reserve(texto.size() + 2);
  for (std::size_t pos = 0; pos < texto.size();)
    AcrescentarCaractere(saida, LerCaractere(texto, pos), forma);
  saida += '"';
  return saida;
}

std::string NumeroJson(double valor, FormaJson forma) {
  if (!std::isfinite(valor)) return "null";
  std::string texto = FormatarGeral(valor, '.', MenorExpoenteFixo(forma));
  // The largest doubles round up past the double range at 15 digits, and a parser refuses
  // that text as an overflow: they are written rounded toward zero instead.
  const std::string_view alemDoMaior = "1.79769313486232E308";
  if (texto.ends_with(alemDoMaior))
    texto.replace(texto.size() - alemDoMaior.size(), alemDoMaior.size(), "1.79769313486231E308");
  return texto;
}

ObjetoJson& ObjetoJson::Texto(std::string nome, std::string valor) {
  membros_.emplace_back(std::move(nome), Valor(std::in_place_type<std::string>, std::move(valor)));
  return *this;
}

ObjetoJson& ObjetoJson::Numero(std::string nome, double valor) {
  membros_.emplace_back(std::move(nome), Valor(std::in_place_type<double>, valor));
  return *this;
}

ObjetoJson& ObjetoJson::Inteiro(std::string nome, std::int64_t valor) {
  membros_.emplace_back(std::move(nome), Valor(std::in_place_type<std::int64_t>, valor));
  return *this;
}

ObjetoJson& ObjetoJson::Logico(std::string nome, bool valor) {
  membros_.emplace_back(std::move(nome), Valor(std::in_place_type<bool>, valor));
  return *this;
}

std::string ObjetoJson::Escrever(FormaJson forma) const {
  std::string saida = "{";
  for (const auto& [nome, valor] : membros_) {
    if (saida.size() > 1) saida += ',';
    saida += TextoJson(nome, forma);
    saida += ':';
    if (const auto* texto = std::get_if<std::string>(&valor)) saida += TextoJson(*texto, forma);
    if (const auto* numero = std::get_if<double>(&valor)) saida += NumeroJson(*numero, forma);
    if (const auto* inteiro = std::get_if<std::int64_t>(&valor)) saida += std::to_string(*inteiro);
    if (const auto* logico = std::get_if<bool>(&valor)) saida += *logico ? "true" : "false";
  }
  saida += '}';
  return saida;
}

}  // namespace tarvex
