#include "service/monitor_peso_thread.h"

#include <cmath>

#include "base/conversoes.h"
#include "base/regional.h"
#include "service/balanca.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/logger.h"
#include "service/webhook_service.h"

namespace tarvex {
namespace {

const char* const kClasse = "TMonitorarPesoBalancaThread";

bool APIOffline() {
  return ConfigWebHook.Copia().APIOffline;
}

}  // namespace

TMonitorarPesoBalancaThread::~TMonitorarPesoBalancaThread() {
  Terminar();
}

void TMonitorarPesoBalancaThread::Pause() {
  FPaused = true;
  GravarLog("TMonitorarPesoBalancaThread - Pause");
}

void TMonitorarPesoBalancaThread::Continue() {
  FPaused = false;
  GravarLog("TMonitorarPesoBalancaThread - Continue");
}

void TMonitorarPesoBalancaThread::Execute() {
  GravarLog("TMonitorarPesoBalancaThread - Iniciado");
  FPaused = false;
  FUltimoPesoLido = 0;
  if (!ConfigBalanca.Copia().CompararPesoAnterior) Anunciar();
  while (Dormir(ConfigService.Copia().IntervaloLeituraPesoMonitoraManual)) {
    if (FPaused || ServicoPausado || LeituraEmAndamento) continue;
    try {
      Passar();
    } catch (const std::exception& erro) {
      GravarLog(std::string("Erro na TMonitorarPesoBalancaThread: ") + erro.what());
      Dormir(1000);
    }
  }
}

void TMonitorarPesoBalancaThread::Anunciar() {
  TestarAPI();
  if (APIOffline()) return;
  auto balanca = BalancaService.Obter();
  if (balanca && balanca->BalancaAtivo()) {
    FUltimoPesoLido = balanca->LerPesoMonitora(kClasse, false);
    if (FUltimoPesoLido > 0) {
      EnviarPeso("ocupado", 0, FUltimoPesoLido);
      return;
    }
  }
  EnviarPeso("livre", 0, 0);
}

bool TMonitorarPesoBalancaThread::PesoNovo(double PesoAtual) const {
  const TConfigBalanca config = ConfigBalanca.Copia();
  if (config.CompararPesoAnterior)
    return std::fabs(PesoAtual - FUltimoPesoLido) > config.MargemToleranciaPesoKG;
  return FUltimoPesoLido == 0;
}

void TMonitorarPesoBalancaThread::Passar() {
  if (APIOffline()) {
    TestarAPI();
    if (APIOffline()) return;
  }
  auto balanca = BalancaService.Obter();
  if (!balanca || !balanca->BalancaAtivo()) return;
  const double PesoAtual = balanca->LerPesoMonitora(kClasse, false);
  const TConfigBalanca config = ConfigBalanca.Copia();
  if (PesoAtual > config.PesoMinimoEnvioKG) {
    if (!PesoNovo(PesoAtual)) return;
    GravarLog("Peso lido em TMonitorarPesoBalancaThread: " +
              FormatarNumero(PesoAtual, 3, RegionalAtual()));
    if (EnviarPeso("ocupado", PesoAtual, FUltimoPesoLido)) FUltimoPesoLido = PesoAtual;
    Dormir(ConfigService.Copia().IntervaloPosEnvioPesoAPI);
    return;
  }
  if (!config.CompararPesoAnterior && PesoAtual == 0 && FUltimoPesoLido != 0 &&
      EnviarPeso("livre", 0, FUltimoPesoLido))
    FUltimoPesoLido = 0;
}

}  // namespace tarvex
