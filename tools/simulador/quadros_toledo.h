#pragma once

#include <optional>
#include <span>
#include <string>

#include "tools/simulador/quadros.h"

// The frames of the Toledo scales, as their drivers read them (the drivers' files draw them).
namespace tarvex::simulacao {

// balToledo: P03 at start; "protocolo" switches to B, C, A, Eth or a two-decimals form.
std::optional<std::string> QuadroToledoP03(SituacaoBalanca situacao, double peso);
std::span<const VarianteQuadro> VariantesToledo();

// balToledo2090: a header line, then the weight line; no unstable state.
std::optional<std::string> QuadroToledo2090(SituacaoBalanca situacao, double peso);

// balToledo2180 and balToledoTi420: five lines; while unstable they do not agree.
std::optional<std::string> QuadroToledo2180(SituacaoBalanca situacao, double peso);
double LeituraToledo2180(SituacaoBalanca situacao, double peso);

// balToledo9091_8530_8540: whole kilograms, no states.
std::optional<std::string> QuadroToledo9091(SituacaoBalanca situacao, double peso);
double LeituraToledo9091(SituacaoBalanca situacao, double peso);

// balToledo2090N: weight, tare 0 and a status letter.
std::optional<std::string> QuadroToledo2090N(SituacaoBalanca situacao, double peso);

// balToledoBCS21: two-letter status and a weight with two decimals; no overload.
std::optional<std::string> QuadroToledoBCS21(SituacaoBalanca situacao, double peso);
double LeituraToledoBCS21(SituacaoBalanca situacao, double peso);

}  // namespace tarvex::simulacao
