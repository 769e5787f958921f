#pragma once

#include <string>
#include <string_view>

#include "scale/tvx_bal_self_checkout.h"

namespace tarvex {

// The self-checkout Toledo scale (balToledo): one request, an answer of any of five frame kinds.
// It remembers the kind last recognised and whether a frame has announced two decimals.
class TTvxBALToledo : public TTvxBALSelfCheckout {
 public:
  explicit TTvxBALToledo(TTvxBAL* dono);

  void LeSerial(int MillisecTimeOut) override;
  double InterpretarRepostaPeso(const std::string& aResposta) override;

  // "Protocolo A", "Protocolo B", "Protocolo C", "Protocolo P03", "Protocolo Eth", or
  // "Não Definido" before the first frame.
  const std::string& Protocolo() const { return fpProtocolo; }
  // The divisor of a weight without decimal separator: 1000, or 100 for good once a frame has
  // announced two decimals.
  int Decimais() const { return fpDecimais; }

 protected:
  std::string fpProtocolo = "Não Definido";
  int fpDecimais = 1000;

 private:
  // The weight field of the answer by its kind; records the kind and the decimals it announces.
  std::string CampoDoPeso(const std::string& resposta);
  std::string CampoEth(const std::string& resposta, int s);
  std::string CampoA(const std::string& resposta, int s);
  std::string CampoB(const std::string& resposta, int s);
  std::string CampoP03(const std::string& resposta);
  std::string CampoC(const std::string& resposta, int s);
};

}  // namespace tarvex
