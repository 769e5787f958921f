//  Toledo 2090 (balToledo2090). Request: ENQ, sent without purging what is waiting. The answer
//  is two lines (CR, LF or CR LF between them); the second carries the weight:
//    STX 1 x _ 0 0 1 2 5 0 0 _ 0 0 0 0          16 characters: 12.5 (thousandths)
//    1   2 3 4 5 6 7 8 9 0 1 2 3 4 5 6
//    STX 1 x _ 0 0 1 2 5 0 0 _ 0 0 0 0 0        17 characters: 125 (hundredths)
//  Position 3, in any case: "s" overload, "r" negative, "x" or anything else the weight.
//  The line must begin with STX (or have it 2nd); any other form is no reading (-9).
#include "scale/tvx_bal_toledo_2090.h"

#include <cctype>
#include <vector>

#include "base/conversoes.h"
#include "scale/tvx_bal.h"

namespace tarvex {
namespace {

constexpr std::string_view kSTX = "\x02";

// The lines of a text, broken at CR, LF or CR LF; a break at the very end opens no empty line.
std::vector<std::string> Linhas(std::string_view texto) {
  std::vector<std::string> linhas;
  std::size_t inicio = 0;
  while (inicio < texto.size()) {
    std::size_t fim = texto.find_first_of("\r\n", inicio);
    if (fim == std::string_view::npos) fim = texto.size();
    linhas.emplace_back(texto.substr(inicio, fim - inicio));
    if (fim < texto.size() && texto[fim] == CR && fim + 1 < texto.size() && texto[fim + 1] == LF)
      ++fim;
    inicio = fim + 1;
  }
  return linhas;
}

}  // namespace

TTvxBALToledo2090::TTvxBALToledo2090(TTvxBAL* dono) : TTvxBALClass(dono) {
  fpModeloStr = RegistroDoModelo(TTvxBALModelo::balToledo2090).modeloStr;
}

void TTvxBALToledo2090::SolicitarPeso() {
  EnviarRequisicao(std::string(1, ENQ), false);
}

double TTvxBALToledo2090::InterpretarRepostaPeso(const std::string& aResposta) {
  if (aResposta.empty()) return kSemLeitura;
  const std::vector<std::string> linhas = Linhas(aResposta);
  if (linhas.size() < 2) throw ErroBalanca("Resposta da Toledo 2090 sem a linha do peso");
  const std::string& linha = linhas[1];
  if (Copiar(linha, 2, 1) != kSTX && Copiar(linha, 1, 1) != kSTX) return kSemLeitura;
  if (linha.size() != 16 && linha.size() != 17) return kSemLeitura;
  const char separador = SeparadorDecimal();
  auto peso = ConverterEscalado(NormalizarDecimal(Copiar(linha, 5, 7), separador),
                                linha.size() == 16 ? 1000 : 100, separador);
  if (!peso) return kSemLeitura;
  switch (std::tolower(static_cast<unsigned char>(linha[2]))) {
    case 'r':
      // The scale reports the weight below zero; a negated weight would read as a code.
      return kPesoNegativo;
    case 's':
      return kSobrecarga;
    default:
      return *peso;
  }
}

}  // namespace tarvex
