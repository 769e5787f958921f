#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scale/tvx_bal.h"

namespace tarvex {

// The service's one scale: opens it from ConfigBalanca, reads weights with retries, keeps the
// connection status and the occupancy, and tells the webhook about connection changes.
//
// Every exchange with the scale (a connection, a read with all its attempts, a port search)
// holds FTroca for its whole length, so requests from the HTTP threads, the monitors and the
// component's own monitoring never interleave on the wire. Webhook notifications are sent after
// FTroca is released, so a slow endpoint never holds up the scale.
class TBalancaService {
 public:
  TBalancaService();
  ~TBalancaService();
  TBalancaService(const TBalancaService&) = delete;
  TBalancaService& operator=(const TBalancaService&) = delete;

  bool ConectarBalanca(bool Reconecta, bool ConsisteConexao, bool ignoraLogErro, bool avisaAPI);
  bool DesconectarBalanca();
  bool BalancaAtivo();
  void AtualizarNomeLog();
  double LerPeso(const std::string& ClassNameGet, bool IgnoredLog);
  double LerPesoMonitora(const std::string& ClassNameGet, bool IgnoredLog);
  bool TestarPortaBalanca();

  TTvxBAL& Balanca() { return *FBalanca; }

 private:
  // Status messages to send once FTroca is released.
  using Avisos = std::vector<std::string>;

  bool ConectarTravado(bool Reconecta, bool ConsisteConexao, bool ignoraLogErro, bool avisaAPI,
                       Avisos& avisos);
  bool DesconectarTravado();
  void AtualizarNomeLogTravado();
  double LerPesoTravado(const std::string& ClassNameGet, bool IgnoredLog);
  bool ProcurarPortaBalanca();
  void ConfigurarEventoLePeso();
  void AoLerPeso(double Peso, const std::string& Resposta);
  void Pausar() const;
  static void EnviarAvisos(const Avisos& avisos);

  std::mutex FTroca;
  std::atomic<bool> FEncerrando{false};
  std::atomic<int> FLeiturasEmCurso{0};
  std::string FRespostaBal;
  // Last, so it goes first: its timer thread, which may be inside AoLerPeso, is joined while
  // the members above still exist.
  std::unique_ptr<TTvxBAL> FBalanca;
};

}  // namespace tarvex
