#pragma once

#include <atomic>
#include <chrono>

#include "service/thread_servico.h"

namespace tarvex {

// The housekeeping thread: reopens a scale that is not active, keeps the scale log on today's
// file, deletes old logs once a day and moves the HTTP listener after a port change.
class TMonitorBalancaThread : public ThreadServico {
 public:
  TMonitorBalancaThread() = default;
  ~TMonitorBalancaThread() override;

  void Pause();
  void Continue();

  // Deletes the "*.log" files directly in DirLogs whose creation lies more than
  // PeriodoArmazenamentoLog whole days before `agora`.
  static void LimparLogsAntigos(std::chrono::system_clock::time_point agora);

  // Passes between two check reads of an idle active scale.
  static constexpr int kPassesEntreLeiturasDeVerificacao = 20;

 protected:
  void Execute() override;

 private:
  void Passar();

  std::atomic<bool> FPaused{false};
  bool silencioso_ = false;
  int passesSemLeitura_ = 0;
  std::chrono::system_clock::time_point UltimaLimpezaLogs{};
};

}  // namespace tarvex
