//  How a self-checkout Toledo answer is recognised (s = its last STX, 0 when none); the first
//  test that holds decides. The frames themselves are drawn where they are read (Toledo).
//    Eth  "02" at s+1 and s+2, and ETX at s+60
//    A    CR at s+21
//    B    an ETX after s
//    P03  STX first and CR 17th; or the first CR 16 positions after the first STX
//    C    anything else
#include "scale/tvx_bal_self_checkout.h"

#include "base/conversoes.h"

namespace tarvex {
namespace {

constexpr std::string_view kSTX = "\x02", kETX = "\x03", kCR = "\r";

bool CaractereEm(std::string_view texto, int posicao, std::string_view caractere) {
  return Copiar(texto, posicao, 1) == caractere;
}

bool EhQuadroEth(std::string_view resposta, int s) {
  return Copiar(resposta, s + 1, 2) == "02" && CaractereEm(resposta, s + 60, kETX);
}

bool EhQuadroA(std::string_view resposta, int s) {
  return CaractereEm(resposta, s + 21, kCR);
}

bool EhQuadroB(std::string_view resposta, int s) {
  return Posicao(kETX, resposta, s + 1) > 0;
}

bool EhQuadroP03(std::string_view resposta) {
  if (resposta.size() >= 17 && resposta.front() == STX && resposta[16] == CR) return true;
  const int f = Posicao(kSTX, resposta);
  int e = Posicao(kCR, resposta, f + 1);
  if (e == 0) e = static_cast<int>(resposta.size()) + 1;
  return e - f == 16;
}

void TrocarTodos(std::string& texto, std::string_view de, std::string_view para) {
  for (std::size_t i = 0; (i = texto.find(de, i)) != std::string::npos; i += para.size())
    texto.replace(i, de.size(), para);
}

}  // namespace

TipoQuadroToledo TTvxBALSelfCheckout::ReconhecerQuadro(std::string_view resposta, int s) {
  if (EhQuadroEth(resposta, s)) return TipoQuadroToledo::Eth;
  if (EhQuadroA(resposta, s)) return TipoQuadroToledo::A;
  if (EhQuadroB(resposta, s)) return TipoQuadroToledo::B;
  if (EhQuadroP03(resposta)) return TipoQuadroToledo::P03;
  return TipoQuadroToledo::C;
}

std::string TTvxBALSelfCheckout::NormalizarStatus(std::string_view texto) {
  std::string normalizado = Aparar(texto);
  if (normalizado.empty()) return normalizado;
  TrocarTodos(normalizado, "+III,III", "IIIII");
  TrocarTodos(normalizado, "-III,III", "NNNNN");
  TrocarTodos(normalizado, "+SSS,SSS", "SSSSS");
  std::erase(normalizado, '+');
  std::erase(normalizado, '-');
  return normalizado;
}

}  // namespace tarvex
