#include "tools/simulador/quadros_toledo.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarvex::simulacao {
namespace {

const std::string kStx(1, STX), kEtx(1, ETX), kCr(1, CR);

std::string Formatar(const char* formato, auto... valores) {
  char texto[64];
  std::snprintf(texto, sizeof texto, formato, valores...);
  return texto;
}

// The weight as a whole number of 1/`divisor` kilograms, zero-filled to `largura`.
std::string Inteiro(double peso, double divisor, int largura) {
  return Formatar("%0*lld", largura, std::llround(peso * divisor));
}

// The weight with as many decimals (3 at most) as fit in `largura` characters.
std::string Decimal(double peso, int largura) {
  for (int decimais = 3; decimais > 0; --decimais) {
    std::string texto = Formatar("%0*.*f", largura, decimais, peso);
    if (static_cast<int>(texto.size()) <= largura) return texto;
  }
  return Formatar("%0*.0f", largura, peso);
}

double ValorDe(const std::string& campo) {
  return std::strtod(campo.c_str(), nullptr);
}

// A 6-character weight field of balToledo: the weight, or a status letter repeated.
std::string CampoToledo(SituacaoBalanca situacao, double peso, double divisor) {
  switch (situacao) {
    case SituacaoBalanca::Instavel:
      return "IIIIII";
    case SituacaoBalanca::Negativo:
      return "NNNNNN";
    case SituacaoBalanca::Sobrecarga:
      return "SSSSSS";
    case SituacaoBalanca::Estavel:
      break;
  }
  return Inteiro(peso, divisor, 6);
}

// The status tokens of the frames whose field has room for them (B and C).
std::string TokenToledo(SituacaoBalanca situacao) {
  switch (situacao) {
    case SituacaoBalanca::Instavel:
      return "+III,III";
    case SituacaoBalanca::Negativo:
      return "-III,III";
    case SituacaoBalanca::Sobrecarga:
      return "+SSS,SSS";
    case SituacaoBalanca::Estavel:
      break;
  }
  return {};
}

// P03: STX, status bytes (the 1st with bit 3 for two decimals), weight, tare, CR.
std::string QuadroP03(SituacaoBalanca situacao, double peso, bool duasCasas) {
  return kStx + (duasCasas ? "8" : "0") + "00" +
         CampoToledo(situacao, peso, duasCasas ? 100 : 1000) + "000000" + kCr;
}

// A: STX, status, weight, the decimals byte (9th), twelve more bytes, CR at 22.
std::string QuadroA(SituacaoBalanca situacao, double peso, bool duasCasas) {
  return kStx + "0" + CampoToledo(situacao, peso, duasCasas ? 100 : 1000) +
         (duasCasas ? "8" : "0") + std::string(12, '0') + kCr;
}

std::optional<std::string> QuadroToledoB(SituacaoBalanca situacao, double peso) {
  std::string campo = TokenToledo(situacao);
  return kStx + (campo.empty() ? Inteiro(peso, 1000, 6) : campo) + kEtx;
}

std::optional<std::string> QuadroToledoC(SituacaoBalanca situacao, double peso) {
  std::string campo = TokenToledo(situacao);
  return kStx + (campo.empty() ? Formatar("%7.3f", peso) : campo) + " kg" + kCr;
}

std::optional<std::string> QuadroToledoA(SituacaoBalanca situacao, double peso) {
  return QuadroA(situacao, peso, false);
}

std::optional<std::string> QuadroToledoA2Casas(SituacaoBalanca situacao, double peso) {
  return QuadroA(situacao, peso, true);
}

std::optional<std::string> QuadroToledoP032Casas(SituacaoBalanca situacao, double peso) {
  return QuadroP03(situacao, peso, true);
}

// Eth: STX, "02", three bytes, the weight at 7, filler up to the ETX 60 bytes after the STX.
std::optional<std::string> QuadroToledoEth(SituacaoBalanca situacao, double peso) {
  return kStx + "02" + "000" + CampoToledo(situacao, peso, 1000) + std::string(48, '0') + kEtx;
}

double LeituraEmCentesimos(SituacaoBalanca situacao, double peso) {
  return LeituraEsperada(situacao, static_cast<double>(std::llround(peso * 100)) / 100);
}

constexpr std::array<VarianteQuadro, 7> kVariantesToledo = {{
    {"P03", QuadroToledoP03},
    {"B", QuadroToledoB},
    {"C", QuadroToledoC},
    {"A", QuadroToledoA},
    {"Eth", QuadroToledoEth},
    {"P03-2casas", QuadroToledoP032Casas, LeituraEmCentesimos},
    {"A-2casas", QuadroToledoA2Casas, LeituraEmCentesimos},
}};

}  // namespace

std::optional<std::string> QuadroToledoP03(SituacaoBalanca situacao, double peso) {
  return QuadroP03(situacao, peso, false);
}

std::span<const VarianteQuadro> VariantesToledo() {
  return kVariantesToledo;
}

std::optional<std::string> QuadroToledo2090(SituacaoBalanca situacao, double peso) {
  char status = 'x';
  if (situacao == SituacaoBalanca::Instavel) return std::nullopt;
  if (situacao == SituacaoBalanca::Negativo) status = 'r';
  if (situacao == SituacaoBalanca::Sobrecarga) status = 's';
  return "TOLEDO 2090\r\n" + kStx + "1" + status + " " + Inteiro(peso, 1000, 7) + " 0000\r\n";
}

std::optional<std::string> QuadroToledo2180(SituacaoBalanca situacao, double peso) {
  if (situacao == SituacaoBalanca::Negativo || situacao == SituacaoBalanca::Sobrecarga)
    return std::nullopt;
  const bool estavel = situacao == SituacaoBalanca::Estavel;
  std::string linhas;
  for (int linha = 0; linha < 5; ++linha)
    linhas += "`" + Decimal(estavel ? peso : peso + 0.01 * linha, 6) + kCr;
  return linhas;
}

double LeituraToledo2180(SituacaoBalanca situacao, double peso) {
  return situacao == SituacaoBalanca::Estavel ? ValorDe(Decimal(peso, 6)) : kPesoInstavel;
}

std::optional<std::string> QuadroToledo9091(SituacaoBalanca situacao, double peso) {
  if (situacao != SituacaoBalanca::Estavel) return std::nullopt;
  return kStx + "AB " + Inteiro(peso, 1, 6) + "000000" + kCr;
}

double LeituraToledo9091(SituacaoBalanca, double peso) {
  return static_cast<double>(std::llround(peso));
}

std::optional<std::string> QuadroToledo2090N(SituacaoBalanca situacao, double peso) {
  char status = '0';
  if (situacao == SituacaoBalanca::Instavel) status = 'x';
  if (situacao == SituacaoBalanca::Negativo) status = 'r';
  if (situacao == SituacaoBalanca::Sobrecarga) status = 's';
  return kStx + "1" + status + " " + Inteiro(peso, 1000, 6) + "000000" + kEtx;
}

std::optional<std::string> QuadroToledoBCS21(SituacaoBalanca situacao, double peso) {
  if (situacao == SituacaoBalanca::Sobrecarga) return std::nullopt;
  const char* status = situacao == SituacaoBalanca::Instavel   ? "D+"
                       : situacao == SituacaoBalanca::Negativo ? "S-"
                                                               : "S+";
  return kStx + status + Formatar("%08.2f", peso) + kCr;
}

double LeituraToledoBCS21(SituacaoBalanca situacao, double peso) {
  if (situacao != SituacaoBalanca::Estavel) return LeituraEsperada(situacao, peso);
  return ValorDe(Formatar("%08.2f", peso));
}

}  // namespace tarvex::simulacao
