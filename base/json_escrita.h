#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tarvex {

// The text forms of the JSON bodies the service writes. All of them are compact and escape the
// quotation mark, the backslash and the slash with a backslash, and backspace, tab, line feed,
// form feed and carriage return as \b \t \n \f \r. They differ in the rest:
//
//   Webhook      other characters as themselves; exponent form below 0.00001 ("1E-6")
//   ApiEscapada  every character above 127 as \u and four upper-case hexadecimal digits of its
//                UTF-16 unit (a surrogate pair above U+FFFF); exponent form below 0.0001 ("1E-5")
//   ApiSimples   characters as themselves; numbers as in ApiEscapada
//
// Whatever the form, the result is valid JSON in UTF-8: the control characters a JSON string
// may not hold raw (below 32, without a short escape) are written \u00XX, each invalid UTF-8
// sequence (one per maximal invalid part) becomes U+FFFD, and a number that is not finite
// (NaN, infinity) is written null.
enum class FormaJson { Webhook, ApiEscapada, ApiSimples };

// The string between quotation marks.
std::string TextoJson(std::string_view texto, FormaJson forma);

// Up to 15 significant digits, "." as decimal point, no trailing zeros.
std::string NumeroJson(double valor, FormaJson forma);

// A JSON object whose members keep the order in which they were added.
class ObjetoJson {
 public:
  ObjetoJson& Texto(std::string nome, std::string valor);
  ObjetoJson& Numero(std::string nome, double valor);
  ObjetoJson& Inteiro(std::string nome, std::int64_t valor);
  ObjetoJson& Logico(std::string nome, bool valor);

  std::string Escrever(FormaJson forma) const;

 private:
  using Valor = std::variant<std::string, double, std::int64_t, bool>;
  std::vector<std::pair<std::string, Valor>> membros_;
};

}  // namespace tarvex
