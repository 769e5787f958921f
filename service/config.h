#pragma once

#include <cstdint>
#include <string>

#include "service/registro.h"

namespace tarvex {

struct TConfigService {
  std::string Versao;
  int Porta = 0;
  bool AtivarLog = false;
  bool MonitorarBalancaManual = false;
  int IntervaloLeituraPesoMonitoraManual = 0;
  int IntervaloPosEnvioPesoAPI = 0;
  int IntervaloVerificaBalanca = 0;
  int PeriodoArmazenamentoLog = 0;
};

struct TConfigBalanca {
  std::string IdBalanca;
  int Modelo = 0;
  std::string Porta;
  int BaudRate = 0;
  int DataBits = 0;
  int Parity = 0;
  int StopBits = 0;
  int HandShake = 0;
  bool AtivarLogTxt = false;
  std::string ArqLogTxt;
  bool MonitorarBalanca = false;
  int IntervaloMonitorarMs = 0;
  int QtdTentativasLeituraErro = 0;
  int IntervaloTentativasLeitura = 0;
  double MargemToleranciaPesoKG = 0;
  double PesoMinimoEnvioKG = 0;
  int TimeOutLePeso = 0;
  bool CompararPesoAnterior = false;
  int QtdConsistirPesoZeroMonitor = 0;
  std::string CaracterTerminator;
  // Run-time fields, never stored in the file.
  std::string Status;
  std::string Ocupacao;
  std::string StatusOld;
  std::string PortaOld;
  char16_t CharCaracterTerminator = 0;
};

struct TConfigWebHook {
  std::string IdIntegracao;
  std::string URL;
  std::string Token;
  std::string EndpointEnvioPeso;
  std::string EndpointEnvioStatus;
  bool APIOffline = false;
  bool APIOfflineOld = false;
};

extern Registro<TConfigService> ConfigService;
extern Registro<TConfigBalanca> ConfigBalanca;
extern Registro<TConfigWebHook> ConfigWebHook;

inline constexpr double kMargemToleranciaPadrao = 0.0029;
inline constexpr double kPesoMinimoEnvioPadrao = 0.005;

// Creates config.ini with the [Service] defaults when no file exists at ArqConfigINI.
void CriarConfigPadrao();
// Fills the three records from ArqConfigINI; a missing file gives every default.
void CarregarConfig();

bool TextoParaBool(const std::string& texto);
std::string BoolParaTexto(bool valor);
std::string TextoOuPadrao(const std::string& valor, const std::string& padrao);
std::int32_t InteiroPositivoOuPadrao(std::int32_t valor, std::int32_t padrao);
double RealPositivoOuPadrao(double padrao, double valor);
// The text form: a text that is not a number in the regional format gives `padrao`.
double RealPositivoOuPadrao(double padrao, const std::string& valor);

// Derives CharCaracterTerminator from CaracterTerminator; an empty CaracterTerminator afterwards
// means the terminator check is off.
void AtualizarCharTerminator(TConfigBalanca& config);

}  // namespace tarvex
