#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "scale/tvx_bal_class.h"
#include "scale/tvx_device.h"

namespace tarvex {

// The scale models. config.ini stores the ordinal, so this is a file format: values are only
// ever appended, never reordered.
enum class TTvxBALModelo : int {
  balNenhum = 0,
  balFilizola,
  balToledo,
  balToledo2090,
  balToledo2180,
  balUrano,
  balLucasTec,
  balMagna,
  balDigitron,
  balMagellan,
  balUranoPOP,
  balLider,
  balRinnert,
  balMuller,
  balSaturno,
  balAFTS,
  balGenerica,
  balLibratek,
  balMicheletti,
  balAlfa,
  balToledo9091_8530_8540,
  balWeightechWT1000,
  balMarelCG62XL,
  balWeightechWT3000_ABS,
  balToledo2090N,
  balToledoBCS21,
  balPrecision,
  balDigitron_UL,
  balLibratekWT3000IR,
  balToledoTi420,
  balWeightechWT27R_ETH,
  balCapital,
  balMarte,
  balLenkeLK2500,
  balWeighTRUTest,
  balUranoUDC,
  balSiciliano,
};

// One row of the model registry: the one place that lists the models and their drivers.
struct RegistroModelo {
  TTvxBALModelo modelo;
  std::string_view nome;       // the enumeration value, "balToledo"
  std::string_view classe;     // the driver class, "TTvxBALToledo"
  std::string_view modeloStr;  // the name the driver reports
  // Creates the model's driver; empty while that driver is not built.
  std::unique_ptr<TTvxBALClass> (*criar)(TTvxBAL* dono);
};

std::span<const RegistroModelo> ModelosBalanca();
// The row of a model; ErroBalanca for a value outside the enumeration.
const RegistroModelo& RegistroDoModelo(TTvxBALModelo modelo);
// The model of a stored ordinal; nothing when no model has it.
std::optional<TTvxBALModelo> ModeloDoOrdinal(int ordinal);

// The reading event: the reading (kilograms or a code) and the raw answer.
using TTvxBALLePeso = std::function<void(double Peso, const std::string& Resposta)>;

// The scale component: one model driver, one device channel, the monitoring timer.
// Every call holds the component's lock for its whole exchange, so threads that share one
// scale never interleave their requests and answers; a timer tick reads under the same lock.
// The reading event is raised after the lock is released, so a handler may call back in; the
// log handler (OnGravarLog) runs inside the exchange and must not call the component.
class TTvxBAL {
 public:
  TTvxBAL();
  ~TTvxBAL();
  TTvxBAL(const TTvxBAL&) = delete;
  TTvxBAL& operator=(const TTvxBAL&) = delete;

  TTvxBALModelo Modelo() const;
  // Replaces the driver (not while active); keeps ArqLOG, OnGravarLog, PosIni and PosFim and
  // resets the serial settings, so the caller sets Baud and the rest afterwards.
  void Modelo(TTvxBALModelo modelo);
  std::string Porta() const;
  void Porta(std::string_view porta);
  int Intervalo() const;
  void Intervalo(int milissegundos);
  bool MonitorarBalanca() const;
  void MonitorarBalanca(bool monitorar);
  std::string ArqLOG() const;
  void ArqLOG(std::string arquivo);
  TTvxGravarLog OnGravarLog() const;
  void OnGravarLog(TTvxGravarLog gravar);
  int PosIni() const;
  void PosIni(int posicao);
  int PosFim() const;
  void PosFim(int quantidade);
  TTvxBALLePeso OnLePeso() const;
  void OnLePeso(TTvxBALLePeso aoLer);
  // The device's serial settings are changed while the component is inactive.
  TTvxDevice& Device() { return fsDevice; }

  double UltimoPesoLido() const;
  std::string UltimaResposta() const;
  bool Ativo() const;
  void Ativo(bool ativo);
  std::string ModeloStr() const;
  // Runs `acao` on the driver under the component's lock (the commands of some models).
  template <class Acao>
  decltype(auto) ComBAL(Acao&& acao) {
    std::lock_guard trava(mutex_);
    return acao(*fsBAL);
  }

  void Ativar();
  void Desativar();
  // One weight read: opens an inactive component for the read and closes it again, keeps the
  // monitoring off during the read and restores both in every case.
  double LePeso(int MillisecTimeOut);
  void SolicitarPeso();
  double InterpretarRepostaPeso(const std::string& aResposta);
  bool EnviarPrecoKg(std::int64_t aValor, int aMillisecTimeOut);

 private:
  void AtivarTravado();
  void DesativarTravado();
  // Enables the timer exactly when monitoring is wanted, the component is active and the
  // period is above 0. Called with mutex_ held.
  void AvaliarTimer();
  void ExecutarTimer();
  void TratarTimer();

  TTvxDevice fsDevice;
  std::unique_ptr<TTvxBALClass> fsBAL;
  bool fsAtivo = false;
  TTvxBALModelo fsModelo = TTvxBALModelo::balNenhum;
  TTvxBALLePeso fsOnLePeso;
  bool fsMonitorarBalanca = false;
  int fsIntervalo = 200;
  mutable std::mutex mutex_;

  // The timer thread sleeps on the condition; any change of its settings or a stop wakes it.
  std::mutex mutexTimer_;
  std::condition_variable sinalTimer_;
  bool timerHabilitado_ = false;
  bool encerrarTimer_ = false;
  int periodoTimer_ = 200;
  unsigned geracaoTimer_ = 0;
  std::thread timer_;
};

}  // namespace tarvex
