#include "service/monitor_balanca_thread.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "base/conversoes.h"
#include "service/balanca.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "service/logger.h"
#include "service/server_initializer.h"

namespace tarvex {
namespace {

using Relogio = std::chrono::system_clock;

// The creation time when the file system records it, else the last write; nothing for a file
// that vanished since it was listed.
std::optional<Relogio::time_point> Criacao(const std::filesystem::path& arquivo) {
  struct statx st {};
  if (::statx(AT_FDCWD, arquivo.c_str(), 0, STATX_BTIME | STATX_MTIME, &st) != 0)
    return std::nullopt;
  const statx_timestamp& t = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_mtime;
  return Relogio::time_point(std::chrono::seconds(t.tv_sec));
}

}  // namespace

TMonitorBalancaThread::~TMonitorBalancaThread() {
  GravarLog("TMonitorBalancaThread - Destroy");
  Terminar();
}

void TMonitorBalancaThread::Pause() {
  FPaused = true;
  GravarLog("TMonitorBalancaThread - Pause");
}

void TMonitorBalancaThread::Continue() {
  FPaused = false;
  GravarLog("TMonitorBalancaThread - Continue");
}

void TMonitorBalancaThread::Execute() {
  GravarLog("TMonitorBalancaThread - Iniciado");
  FPaused = false;
  silencioso_ = false;
  while (Dormir(ConfigService.Copia().IntervaloVerificaBalanca)) {
    if (FPaused || ServicoPausado) continue;
    // A pass that fails is logged and the next one goes on: the watchdog never dies.
    try {
      Passar();
    } catch (const std::exception& erro) {
      GravarLog(std::string("Erro na TMonitorBalancaThread: ") + erro.what());
    }
  }
}

void TMonitorBalancaThread::Passar() {
  auto balanca = BalancaService.Obter();
  if (!balanca) return;
  const TConfigBalanca config = ConfigBalanca.Copia();
  ++passesSemLeitura_;
  if (!balanca->BalancaAtivo()) {
    if (config.Modelo > 0 && !Aparar(config.Porta).empty()) {
      passesSemLeitura_ = 0;
      balanca->ConectarBalanca(false, true, silencioso_, true);
      silencioso_ = !balanca->BalancaAtivo();
    }
  } else if (!MonitoramentoManualConfigurado() &&
             passesSemLeitura_ >= kPassesEntreLeiturasDeVerificacao) {
    // An idle scale that died is only noticed by a read: a -9 closes it for the next pass.
    passesSemLeitura_ = 0;
    silencioso_ = false;
    balanca->LerPeso("TMonitorBalancaThread", true);
  }
  balanca->AtualizarNomeLog();
  auto agora = Relogio::now();
  if (agora - UltimaLimpezaLogs >= std::chrono::hours(24)) {
    LimparLogsAntigos(agora);
    UltimaLimpezaLogs = agora;
  }
  if (PortaServAlterada) VerificarPortaServidor();
}

void TMonitorBalancaThread::LimparLogsAntigos(Relogio::time_point agora) {
  GravarLog("TMonitorBalancaThread.LimparLogsAntigos - Verificado");
  std::error_code erro;
  if (!std::filesystem::is_directory(DirLogs, erro)) return;
  const int periodo = ConfigService.Copia().PeriodoArmazenamentoLog;
  for (const auto& entrada : std::filesystem::directory_iterator(DirLogs, erro)) {
    if (!entrada.is_regular_file(erro) || entrada.path().extension() != ".log") continue;
    auto criacao = Criacao(entrada.path());
    if (!criacao) continue;
    auto idade = std::chrono::floor<std::chrono::days>(agora - *criacao);
    if (idade.count() <= periodo) continue;
    if (std::filesystem::remove(entrada.path(), erro))
      GravarLog("Log apagado: " + entrada.path().filename().string());
  }
}

}  // namespace tarvex
