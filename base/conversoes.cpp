#include "base/conversoes.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tarvex {
namespace {

bool EhDigito(char c) {
  return c >= '0' && c <= '9';
}

int ValorHex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void Acrescentar2(std::string& s, int v) {
  s += static_cast<char>('0' + (v / 10) % 10);
  s += static_cast<char>('0' + v % 10);
}

bool ComecaCom(std::string_view texto, std::size_t pos, std::string_view parte) {
  if (texto.size() - pos < parte.size()) return false;
  for (std::size_t i = 0; i < parte.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(texto[pos + i])) != parte[i]) return false;
  return true;
}

}  // namespace

std::optional<std::int32_t> LerInteiro(std::string_view texto) {
  std::size_t i = 0;
  while (i < texto.size() && texto[i] == ' ') ++i;
  bool negativo = false;
  if (i < texto.size() && (texto[i] == '-' || texto[i] == '+')) negativo = texto[i++] == '-';
  bool hex = false;
  if (i < texto.size() && texto[i] == '$') {
    hex = true;
    ++i;
  } else if (ComecaCom(texto, i, "0x")) {
    hex = true;
    i += 2;
  }
  if (i >= texto.size()) return std::nullopt;
  std::int64_t valor = 0;
  for (; i < texto.size(); ++i) {
    int d = hex ? ValorHex(texto[i]) : (EhDigito(texto[i]) ? texto[i] - '0' : -1);
    if (d < 0) return std::nullopt;
    valor = valor * (hex ? 16 : 10) + d;
    if (valor > (hex ? 0xFFFFFFFFLL : 0x80000000LL)) return std::nullopt;
  }
  if (hex) {
    // A hexadecimal text names the 32 bits themselves: "$FFFFFFFF" is -1.
    auto bits = static_cast<std::uint32_t>(valor);
    auto v = static_cast<std::int32_t>(bits);
    return negativo ? static_cast<std::int32_t>(0u - bits) : v;
  }
  if (negativo) return static_cast<std::int32_t>(-valor);
  if (valor > 0x7FFFFFFFLL) return std::nullopt;
  return static_cast<std::int32_t>(valor);
}

std::optional<double> LerReal(std::string_view texto, char separadorDecimal) {
  std::size_t ini = 0, fim = texto.size();
  while (ini < fim && texto[ini] == ' ') ++ini;
  while (fim > ini && texto[fim - 1] == ' ') --fim;
  std::string numero;
  std::size_t i = ini;
  if (i < fim && (texto[i] == '-' || texto[i] == '+')) {
    if (texto[i] == '-') numero += '-';
    ++i;
  }
  int digitos = 0;
  bool separador = false;
  for (; i < fim; ++i) {
    char c = texto[i];
    if (EhDigito(c)) {
      numero += c;
      ++digitos;
    } else if (c == separadorDecimal && !separador) {
      separador = true;
      numero += '.';
    } else {
      break;
    }
  }
  if (digitos == 0) return std::nullopt;
  if (i < fim && (texto[i] == 'e' || texto[i] == 'E')) {
    numero += 'e';
    ++i;
    if (i < fim && (texto[i] == '-' || texto[i] == '+')) numero += texto[i++];
    std::size_t inicioExpoente = i;
    while (i < fim && EhDigito(texto[i])) numero += texto[i++];
    if (i == inicioExpoente) return std::nullopt;
  }
  if (i != fim) return std::nullopt;
  double valor = 0;
  auto [fimLido, erro] = std::from_chars(numero.data(), numero.data() + numero.size(), valor);
  if (erro != std::errc{} || fimLido != numero.data() + numero.size()) return std::nullopt;
  return valor;
}

std::string Aparar(std::string_view texto) {
  std::size_t ini = 0, fim = texto.size();
  while (ini < fim && static_cast<unsigned char>(texto[ini]) <= 32) ++ini;
  while (fim > ini && static_cast<unsigned char>(texto[fim - 1]) <= 32) --fim;
  return std::string(texto.substr(ini, fim - ini));
}

std::string FormatarGeral(double valor, char separadorDecimal, int menorExpoenteFixo) {
  if (std::isnan(valor)) return "NAN";
  if (std::isinf(valor)) return valor > 0 ? "INF" : "-INF";
  if (valor == 0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(valor));
  // buf is "d.dddddddddddddde+XX": fifteen significant digits and the decimal exponent.
  std::string digitos;
  digitos += buf[0];
  digitos.append(buf + 2, 14);
  int expoente = std::atoi(buf + 17);
  while (digitos.size() > 1 && digitos.back() == '0') digitos.pop_back();

  std::string r = valor < 0 ? "-" : "";
  if (expoente >= 15 || expoente < menorExpoenteFixo) {
    r += digitos[0];
    if (digitos.size() > 1) {
      r += separadorDecimal;
      r.append(digitos, 1);
    }
    r += 'E';
    r += std::to_string(expoente);
    return r;
  }
  if (expoente < 0) {
    r += '0';
    r += separadorDecimal;
    r.append(static_cast<std::size_t>(-expoente - 1), '0');
    r += digitos;
    return r;
  }
  auto inteiros = static_cast<std::size_t>(expoente) + 1;
  if (digitos.size() <= inteiros) {
    r += digitos;
    r.append(inteiros - digitos.size(), '0');
  } else {
    r.append(digitos, 0, inteiros);
    r += separadorDecimal;
    r.append(digitos, inteiros);
  }
  return r;
}

std::string FormatarNumero(double valor, int decimais, const Regional& regional) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimais, std::fabs(valor));
  std::string_view texto(buf);
  std::size_t ponto = texto.find('.');
  std::string_view inteiros = texto.substr(0, ponto);
  std::string r = (valor < 0 && texto.find_first_not_of("0.") != std::string_view::npos) ? "-" : "";
  for (std::size_t i = 0; i < inteiros.size(); ++i) {
    if (i > 0 && (inteiros.size() - i) % 3 == 0) r += regional.separadorMilhar;
    r += inteiros[i];
  }
  if (ponto != std::string_view::npos) {
    r += regional.separadorDecimal;
    r.append(texto.substr(ponto + 1));
  }
  return r;
}

MomentoLocal Agora() {
  auto agora = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(agora);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(agora.time_since_epoch()) % 1000;
  return MomentoLocal{
      tm.tm_year + 1900,           tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
      static_cast<int>(ms.count())};
}

std::string FormatarDataHora(std::string_view padrao, const MomentoLocal& m,
                             const Regional& regional) {
  std::string r;
  std::size_t i = 0;
  while (i < padrao.size()) {
    if (ComecaCom(padrao, i, "yyyy")) {
      Acrescentar2(r, m.ano / 100);
      Acrescentar2(r, m.ano % 100);
      i += 4;
    } else if (ComecaCom(padrao, i, "zzz")) {
      r += static_cast<char>('0' + m.milissegundo / 100 % 10);
      Acrescentar2(r, m.milissegundo % 100);
      i += 3;
    } else if (ComecaCom(padrao, i, "yy")) {
      Acrescentar2(r, m.ano % 100);
      i += 2;
    } else if (ComecaCom(padrao, i, "mm")) {
      Acrescentar2(r, m.mes);
      i += 2;
    } else if (ComecaCom(padrao, i, "dd")) {
      Acrescentar2(r, m.dia);
      i += 2;
    } else if (ComecaCom(padrao, i, "hh")) {
      Acrescentar2(r, m.hora);
      i += 2;
    } else if (ComecaCom(padrao, i, "nn")) {
      Acrescentar2(r, m.minuto);
      i += 2;
    } else if (ComecaCom(padrao, i, "ss")) {
      Acrescentar2(r, m.segundo);
      i += 2;
    } else {
      char c = padrao[i++];
      r += c == '/' ? regional.separadorData : c == ':' ? regional.separadorHora : c;
    }
  }
  return r;
}

}  // namespace tarvex
