//  Toledo self-checkout scales (balToledo). Request: ENQ. The answer is one frame of five kinds
//  (recognised by TTvxBALSelfCheckout); the weight field is a number, or a status token:
//    "+III,III" / "IIIII"  unstable (-1)      "-III,III" / "NNNNN"  negative (-2)
//    "+SSS,SSS" / "SSSSS"  overload (-10)     "CCCCC" -11           "EEEEE" -12
//  Signs are dropped, so '-001.500' reads 1.5. A field without decimal separator is divided by
//  1000, or by 100 for good once an A or P03 frame has carried the two-decimals flag (bit 3).
//
//  Samples (positions 1-based):
//    B    STX 0 0 1 2 5 0 ETX                      1.25 (12.5 after the flag)
//    C    STX _ _ 1 . 2 5 0 _ k g CR               1.25
//    P03  STX 0 0 0 0 0 1 2 5 0 0 0 0 0 0 0 CR     1.25; with '8' (0x38) 2nd: 12.5
#include "scale/tvx_bal_toledo.h"

#include "base/conversoes.h"
#include "scale/tvx_bal.h"

namespace tarvex {
namespace {

constexpr std::string_view kSTX = "\x02", kETX = "\x03", kCR = "\r";

// I, N and S as everywhere, and the two letters only these scales send.
constexpr std::initializer_list<LetraDeStatus> kLetrasToledo = {{'I', kPesoInstavel},
                                                                {'N', kPesoNegativo},
                                                                {'S', kSobrecarga},
                                                                {'C', kPesoLetraC},
                                                                {'E', kPesoLetraE}};

bool AnunciaDuasCasas(std::string_view texto, int posicao) {
  std::string byte = Copiar(texto, posicao, 1);
  return !byte.empty() && (static_cast<unsigned char>(byte.front()) & 0x08) != 0;
}

// The position of `caractere` from `inicio` on, or one past the end when it is not there.
int PosicaoOuFim(std::string_view caractere, std::string_view texto, int inicio) {
  int posicao = Posicao(caractere, texto, inicio);
  return posicao > 0 ? posicao : static_cast<int>(texto.size()) + 1;
}

std::string SemKg(std::string texto) {
  for (std::size_t i; (i = texto.find("kg")) != std::string::npos;) texto.erase(i, 2);
  return texto;
}

}  // namespace

TTvxBALToledo::TTvxBALToledo(TTvxBAL* dono) : TTvxBALSelfCheckout(dono) {
  fpModeloStr = RegistroDoModelo(TTvxBALModelo::balToledo).modeloStr;
}

void TTvxBALToledo::LeSerial(int MillisecTimeOut) {
  LerEInterpretar(MillisecTimeOut);
  RegistrarLeitura(" - Resposta: ", " - Protocolo: " + fpProtocolo);
}

double TTvxBALToledo::InterpretarRepostaPeso(const std::string& aResposta) {
  if (aResposta.empty()) return 0;
  const std::string texto = NormalizarStatus(CampoDoPeso(aResposta));
  if (texto.empty()) return 0;
  const char separador = SeparadorDecimal();
  if (auto peso = ConverterEscalado(NormalizarDecimal(texto, separador), fpDecimais, separador))
    return *peso;
  return PesoDaLetra(texto, kLetrasToledo, 0);
}

std::string TTvxBALToledo::CampoDoPeso(const std::string& resposta) {
  const int s = UltimaPosicao(kSTX, resposta);
  switch (ReconhecerQuadro(resposta, s)) {
    case TipoQuadroToledo::Eth:
      return CampoEth(resposta, s);
    case TipoQuadroToledo::A:
      return CampoA(resposta, s);
    case TipoQuadroToledo::B:
      return CampoB(resposta, s);
    case TipoQuadroToledo::P03:
      return CampoP03(resposta);
    case TipoQuadroToledo::C:
      break;
  }
  return CampoC(resposta, s);
}

//  The frame from the STX up to the ETX (without it) becomes the answer kept:
//    STX 0 2 _ _ _ 0 0 1 2 5 0 . . . ETX
//    s  +1+2      +6        +11     +60
std::string TTvxBALToledo::CampoEth(const std::string& resposta, int s) {
  fpProtocolo = "Protocolo Eth";
  const int e = PosicaoOuFim(kETX, resposta, s + 1);
  fpUltimaResposta = Copiar(resposta, s, e - s);
  return Aparar(Copiar(resposta, s + 6, 6));
}

//  The flag is the 9th byte of the whole answer:
//    STX 0 0 0 1 2 5 0 8 0 0 0 0 0 0 0 0 0 0 0 0 CR
//    1   2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 22
std::string TTvxBALToledo::CampoA(const std::string& resposta, int s) {
  fpProtocolo = "Protocolo A";
  if (AnunciaDuasCasas(resposta, 9)) fpDecimais = 100;
  return Aparar(Copiar(resposta, s + 2, 6));
}

//    STX + S S S , S S S ETX
//    1   2 3 4 5 6 7 8 9 10
std::string TTvxBALToledo::CampoB(const std::string& resposta, int s) {
  fpProtocolo = "Protocolo B";
  const int e = Posicao(kETX, resposta, s + 1);
  return Aparar(Copiar(resposta, s + 1, e - s - 1));
}

//  The frame runs from the first STX through the first CR after it; the flag is its 2nd byte:
//    STX 8 0 0 0 0 1 2 5 0 0 0 0 0 0 0 CR
//    1   2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 17
std::string TTvxBALToledo::CampoP03(const std::string& resposta) {
  fpProtocolo = "Protocolo P03";
  const int f = Posicao(kSTX, resposta);
  int e = Posicao(kCR, resposta, f + 1);
  if (e == 0) e = static_cast<int>(resposta.size());
  const std::string quadro = Copiar(resposta, f, e - f + 1);
  if (AnunciaDuasCasas(quadro, 2)) fpDecimais = 100;
  return Copiar(quadro, 5, 6);
}

//  Without a CR the kind is not confirmed: the field runs to the end and the kind stays.
//    STX _ _ 1 . 2 5 0 _ k g CR
//    1   2 3 4 5 6 7 8 9 0 1 12
std::string TTvxBALToledo::CampoC(const std::string& resposta, int s) {
  int e = Posicao(kCR, resposta, s + 1);
  if (e > 0)
    fpProtocolo = "Protocolo C";
  else
    e = static_cast<int>(resposta.size()) + 1;
  return SemKg(Aparar(Copiar(resposta, s + 1, e - s - 1)));
}

}  // namespace tarvex
