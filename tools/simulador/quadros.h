#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "scale/tvx_bal.h"

// What the scale simulator plays for each model, as data: how a weight request looks and
// the frame for each weight and situation. The drivers' tests read the same frames, so the
// simulator and the drivers cannot drift apart.
namespace tarvex::simulacao {

enum class SituacaoBalanca { Estavel, Instavel, Negativo, Sobrecarga };

// The reading a driver gives for a frame of this situation: the weight itself when stable,
// else the code of the situation.
double LeituraEsperada(SituacaoBalanca situacao, double peso);

using QuadroSimulado = std::optional<std::string> (*)(SituacaoBalanca situacao, double peso);
using LeituraSimulada = double (*)(SituacaoBalanca situacao, double peso);

// Another kind of frame of a model that sends more than one, chosen with "protocolo NOME".
struct VarianteQuadro {
  std::string_view nome;
  QuadroSimulado quadro;
  LeituraSimulada leitura = LeituraEsperada;
};

struct PerfilSimulado {
  TTvxBALModelo modelo;
  // The bytes of one weight request; empty for a scale that transmits by itself.
  std::string requisicao;
  // The model's frame for a weight in kilograms (0 or more) in a situation; nothing when the
  // protocol has no frame for that situation.
  std::optional<std::string> (*quadro)(SituacaoBalanca situacao, double peso);
  // The positions the driver must be given to read these frames (generic model); 0 = none.
  int posIni = 0;
  int posFim = 0;
  // What the model's driver reads from each frame, when it differs from LeituraEsperada.
  double (*leitura)(SituacaoBalanca situacao, double peso) = LeituraEsperada;
  // The model's other frame kinds; `quadro` is the one in force at start.
  std::span<const VarianteQuadro> variantes = {};
  // Bytes per piece of an answer sent in pieces, kIntervaloPedacosMs apart; 0 = in one write.
  int pedaco = 0;
  // The driver reads the frame line by line and decides on the lines together, so the frame as
  // a whole is not one answer.
  bool emLinhas = false;
};

inline constexpr int kIntervaloPedacosMs = 10;

// One profile per simulated model; a driver issue adds its models' rows.
std::span<const PerfilSimulado> PerfisSimulados();
// The profile of a model, or nullptr when the simulator does not play it.
const PerfilSimulado* PerfilSimuladoDe(TTvxBALModelo modelo);

// The variant of a profile by its name, or nullptr.
const VarianteQuadro* VarianteDe(const PerfilSimulado& perfil, std::string_view nome);

// Bytes that no protocol reads as a weight.
std::string QuadroLixo();

}  // namespace tarvex::simulacao
