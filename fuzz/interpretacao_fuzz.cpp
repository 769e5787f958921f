// Every built driver reads any answer without crashing and gives a finite reading.
//
// Input: one byte, then the answer. The byte's low 7 bits are the model's ordinal (as stored in
// config.ini); its high bit puts the comma in force as the decimal separator. Each model keeps
// one component for the whole run, so its driver's state carries from one answer to the next as
// it does across the reads of a running scale.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "base/regional.h"
#include "scale/tvx_bal.h"
#include "tools/simulador/quadros.h"

namespace tarvex {
namespace {

Regional RegionalCom(char separadorDecimal) {
  Regional regional;
  regional.separadorDecimal = separadorDecimal;
  regional.separadorMilhar = separadorDecimal == ',' ? '.' : ',';
  return regional;
}

// The component of a model, created at its first answer: the null port, and the positions the
// simulator's frames need (the generic model reads nothing without them).
TTvxBAL& ComponenteDe(TTvxBALModelo modelo) {
  static std::map<TTvxBALModelo, std::unique_ptr<TTvxBAL>> componentes;
  auto& componente = componentes[modelo];
  if (!componente) {
    componente = std::make_unique<TTvxBAL>();
    componente->Modelo(modelo);
    componente->Porta("NULL");
    if (const auto* perfil = simulacao::PerfilSimuladoDe(modelo)) {
      componente->PosIni(perfil->posIni);
      componente->PosFim(perfil->posFim);
    }
  }
  return *componente;
}

}  // namespace
}  // namespace tarvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  using namespace tarvex;
  if (tamanho < 1) return 0;
  const int ordinal = dados[0] & 0x7F;
  const auto modelos = ModelosBalanca();
  if (ordinal >= static_cast<int>(modelos.size()) || !modelos[ordinal].criar) return -1;
  DefinirRegional(RegionalCom((dados[0] & 0x80) ? ',' : '.'));

  TTvxBAL& balanca = ComponenteDe(modelos[ordinal].modelo);
  const std::string resposta(reinterpret_cast<const char*>(dados) + 1, tamanho - 1);
  double peso;
  try {
    peso = balanca.InterpretarRepostaPeso(resposta);
  } catch (const std::exception&) {
    // The read that calls the interpretation turns this into -9.
    return 0;
  }
  if (!std::isfinite(peso)) std::abort();
  return 0;
}
