// The JSON writer: whatever the members hold, each form's text parses back to the same members
// in the same order, with invalid UTF-8 replaced as the writer promises.
//
// Input: a sequence of members, each a kind byte (text, number, integer, logical), a name
// length byte, the name, then the value: a length byte and the bytes for a text, 8 bytes for a
// number or an integer, 1 byte for a logical.
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/json_escrita.h"

namespace tarvex {
namespace {

using JsonOrdenado = nlohmann::ordered_json;
using Valor = std::variant<std::string, double, std::int64_t, bool>;

struct Membro {
  std::string nome;
  Valor valor;
};

class Leitor {
 public:
  explicit Leitor(std::string_view bytes) : bytes_(bytes) {}
  bool Fim() const { return bytes_.empty(); }
  std::uint8_t Byte() {
    if (bytes_.empty()) return 0;
    auto b = static_cast<std::uint8_t>(bytes_.front());
    bytes_.remove_prefix(1);
    return b;
  }
  std::string Texto() {
    std::size_t tamanho = std::min<std::size_t>(Byte(), bytes_.size());
    std::string texto(bytes_.substr(0, tamanho));
    bytes_.remove_prefix(tamanho);
    return texto;
  }
  template <class T>
  T Bits() {
    char bruto[sizeof(T)] = {};
    std::size_t tamanho = std::min(sizeof(T), bytes_.size());
    std::memcpy(bruto, bytes_.data(), tamanho);
    bytes_.remove_prefix(tamanho);
    T valor;
    std::memcpy(&valor, bruto, sizeof(T));
    return valor;
  }

 private:
  std::string_view bytes_;
};

std::vector<Membro> LerMembros(std::string_view bytes) {
  Leitor leitor(bytes);
  std::vector<Membro> membros;
  while (!leitor.Fim()) {
    const std::uint8_t tipo = leitor.Byte() % 4;
    // The position in front keeps names unique; the parser would merge repeated names.
    std::string nome = std::to_string(membros.size()) + ":" + leitor.Texto();
    switch (tipo) {
      case 0:
        membros.push_back({nome, leitor.Texto()});
        break;
      case 1:
        membros.push_back({nome, leitor.Bits<double>()});
        break;
      case 2:
        membros.push_back({nome, leitor.Bits<std::int64_t>()});
        break;
      default:
        membros.push_back({nome, (leitor.Byte() & 1) != 0});
        break;
    }
  }
  return membros;
}

// The text the writer promises for any bytes: each well-formed UTF-8 sequence kept, each maximal
// ill-formed part replaced by U+FFFD (the Unicode "maximal subpart" practice).
std::string Utf8Substituido(std::string_view bytes) {
  std::string saida;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lider = static_cast<unsigned char>(bytes[i]);
    std::size_t seguintes = 0;
    unsigned char minimo = 0x80, maximo = 0xBF;
    if (lider < 0x80) {
      saida += bytes[i++];
      continue;
    }
    if (lider >= 0xC2 && lider <= 0xDF) seguintes = 1;
    if (lider >= 0xE0 && lider <= 0xEF) seguintes = 2;
    if (lider >= 0xF0 && lider <= 0xF4) seguintes = 3;
    if (lider == 0xE0) minimo = 0xA0;
    if (lider == 0xED) maximo = 0x9F;
    if (lider == 0xF0) minimo = 0x90;
    if (lider == 0xF4) maximo = 0x8F;
    std::size_t validos = 1;
    while (seguintes > 0 && validos <= seguintes && i + validos < bytes.size()) {
      const auto c = static_cast<unsigned char>(bytes[i + validos]);
      const bool primeiro = validos == 1;
      if (c < (primeiro ? minimo : 0x80) || c > (primeiro ? maximo : 0xBF)) break;
      ++validos;
    }
    if (seguintes > 0 && validos == seguintes + 1) {
      saida.append(bytes.substr(i, validos));
    } else {
      saida += "\xEF\xBF\xBD";
    }
    i += validos;
  }
  return saida;
}

void Exigir(bool condicao) {
  if (!condicao) std::abort();
}

// 15 significant digits: the number read back is the nearest double to a 15-digit decimal.
bool QuaseIgual(double lido, double escrito) {
  if (lido == escrito) return true;
  return std::fabs(lido - escrito) <= 1e-14 * std::fabs(escrito);
}

void Conferir(const JsonOrdenado& lido, const Membro& membro, const std::string& nomeLido) {
  Exigir(nomeLido == Utf8Substituido(membro.nome));
  if (const auto* texto = std::get_if<std::string>(&membro.valor)) {
    Exigir(lido.is_string() && lido.get<std::string>() == Utf8Substituido(*texto));
  } else if (const auto* numero = std::get_if<double>(&membro.valor)) {
    if (!std::isfinite(*numero)) {
      Exigir(lido.is_null());
    } else {
      Exigir(lido.is_number() && std::isfinite(lido.get<double>()) &&
             QuaseIgual(lido.get<double>(), *numero));
    }
  } else if (const auto* inteiro = std::get_if<std::int64_t>(&membro.valor)) {
    Exigir(lido.is_number_integer() && lido.get<std::int64_t>() == *inteiro);
  } else {
    Exigir(lido.is_boolean() && lido.get<bool>() == std::get<bool>(membro.valor));
  }
}

}  // namespace
}  // namespace tarvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  using namespace tarvex;
  const auto membros = LerMembros(std::string_view(reinterpret_cast<const char*>(dados), tamanho));
  ObjetoJson objeto;
  for (const auto& m : membros) {
    if (const auto* texto = std::get_if<std::string>(&m.valor)) objeto.Texto(m.nome, *texto);
    if (const auto* numero = std::get_if<double>(&m.valor)) objeto.Numero(m.nome, *numero);
    if (const auto* inteiro = std::get_if<std::int64_t>(&m.valor)) objeto.Inteiro(m.nome, *inteiro);
    if (const auto* logico = std::get_if<bool>(&m.valor)) objeto.Logico(m.nome, *logico);
  }
  for (FormaJson forma : {FormaJson::Webhook, FormaJson::ApiEscapada, FormaJson::ApiSimples}) {
    const std::string texto = objeto.Escrever(forma);
    const JsonOrdenado lido = JsonOrdenado::parse(texto, nullptr, false);
    Exigir(lido.is_object() && lido.size() == membros.size());
    std::size_t i = 0;
    for (const auto& item : lido.items()) Conferir(item.value(), membros[i++], item.key());
    if (forma == FormaJson::ApiEscapada)
      for (char c : texto) Exigir(static_cast<unsigned char>(c) < 0x80 && c >= 0x20);
  }
  return 0;
}
