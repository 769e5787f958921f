#pragma once

#include <atomic>

#include "service/thread_servico.h"

namespace tarvex {

// The manual weight monitor: polls the scale and tells the webhook when a load arrives or
// leaves (occupation policy) or when the weight changes beyond the tolerance (comparison
// policy).
class TMonitorarPesoBalancaThread : public ThreadServico {
 public:
  TMonitorarPesoBalancaThread() = default;
  ~TMonitorarPesoBalancaThread() override;

  void Pause();
  void Continue();

 protected:
  void Execute() override;

 private:
  void Anunciar();
  void Passar();
  bool PesoNovo(double PesoAtual) const;

  std::atomic<bool> FPaused{false};
  double FUltimoPesoLido = 0;
};

}  // namespace tarvex
