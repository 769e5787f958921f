#include "scale/tvx_bal.h"

#include <array>
#include <chrono>

#include "scale/tvx_bal_toledo.h"
#include "scale/tvx_bal_toledo_2090.h"
#include "scale/tvx_bal_toledo_2090n.h"
#include "scale/tvx_bal_toledo_2180.h"
#include "scale/tvx_bal_toledo_9091_8530_8540.h"
#include "scale/tvx_bal_toledo_bcs21.h"
#include "scale/tvx_bal_toledo_ti420.h"

namespace tarvex {
namespace {

template <class Driver>
std::unique_ptr<TTvxBALClass> Criar(TTvxBAL* dono) {
  return std::make_unique<Driver>(dono);
}

using M = TTvxBALModelo;

// A model whose driver is not built yet has no creator; selecting it is refused.
constexpr std::array<RegistroModelo, 37> kModelos = {{
    {M::balNenhum, "balNenhum", "TTvxBALClass", "Generica", Criar<TTvxBALClass>},
    {M::balFilizola, "balFilizola", "TTvxBALFilizola", "Filizola", nullptr},
    {M::balToledo, "balToledo", "TTvxBALToledo", "Toledo", Criar<TTvxBALToledo>},
    {M::balToledo2090, "balToledo2090", "TTvxBALToledo2090", "Toledo 2090",
     Criar<TTvxBALToledo2090>},
    {M::balToledo2180, "balToledo2180", "TTvxBALToledo2180", "Toledo 2180",
     Criar<TTvxBALToledo2180>},
    {M::balUrano, "balUrano", "TTvxBALUrano", "Urano", nullptr},
    {M::balLucasTec, "balLucasTec", "TTvxBALLucasTec", "LucasTec", nullptr},
    {M::balMagna, "balMagna", "TTvxBALMagna", "Magna", nullptr},
    {M::balDigitron, "balDigitron", "TTvxBALDigitron", "Digitron", nullptr},
    {M::balMagellan, "balMagellan", "TTvxBALMagellan", "Magellan", nullptr},
    {M::balUranoPOP, "balUranoPOP", "TTvxBALUranoPOP", "Urano", nullptr},
    {M::balLider, "balLider", "TTvxBALLider", "Lider", nullptr},
    {M::balRinnert, "balRinnert", "TTvxBALRinnert", "Rinnert", nullptr},
    {M::balMuller, "balMuller", "TTvxBALMuller", "Muller", nullptr},
    {M::balSaturno, "balSaturno", "TTvxBALSaturno", "Saturno", nullptr},
    {M::balAFTS, "balAFTS", "TTvxBALAFTS", "AFTS", nullptr},
    {M::balGenerica, "balGenerica", "TTvxBALClass", "Generica", Criar<TTvxBALClass>},
    {M::balLibratek, "balLibratek", "TTvxBALLibratek", "Libratek", nullptr},
    {M::balMicheletti, "balMicheletti", "TTvxBALMicheletti", "Micheletti", nullptr},
    {M::balAlfa, "balAlfa", "TTvxBALAlfa", "Alfa", nullptr},
    {M::balToledo9091_8530_8540, "balToledo9091_8530_8540", "TTvxBALToledo9091_8530_8540",
     "Toledo 9091 8530 8540", Criar<TTvxBALToledo9091_8530_8540>},
    {M::balWeightechWT1000, "balWeightechWT1000", "TTvxBALWeightechWT1000", "Weightech WT1000",
     nullptr},
    {M::balMarelCG62XL, "balMarelCG62XL", "TTvxBALMarelCG62XL", "Marel", nullptr},
    {M::balWeightechWT3000_ABS, "balWeightechWT3000_ABS", "TTvxBALWeightechWT3000_ABS",
     "Weightech WT3000_ABS", nullptr},
    {M::balToledo2090N, "balToledo2090N", "TTvxBALToledo2090N", "Toledo 2090N",
     Criar<TTvxBALToledo2090N>},
    {M::balToledoBCS21, "balToledoBCS21", "TTvxBALToledoBCS21", "Toledo BCS21",
     Criar<TTvxBALToledoBCS21>},
    {M::balPrecision, "balPrecision", "TTvxBALPrecision", "Precision", nullptr},
    {M::balDigitron_UL, "balDigitron_UL", "TTvxBALDigitron_UL", "Digitron_UL", nullptr},
    {M::balLibratekWT3000IR, "balLibratekWT3000IR", "TTvxBALLibratekWT3000IR", "Libratek WT3000IR",
     nullptr},
    {M::balToledoTi420, "balToledoTi420", "TTvxBALToledoTi420", "Toledo Ti420",
     Criar<TTvxBALToledoTi420>},
    {M::balWeightechWT27R_ETH, "balWeightechWT27R_ETH", "TTvxbalWeightechWT27R_ETH",
     "WeightechWT27R_ETH", nullptr},
    {M::balCapital, "balCapital", "TTvxBALCapital", "Capital", nullptr},
    {M::balMarte, "balMarte", "TTvxBALMarte", "Marte", nullptr},
    {M::balLenkeLK2500, "balLenkeLK2500", "TTvxBALLenkeLK2500", "Lenke LK2500", nullptr},
    {M::balWeighTRUTest, "balWeighTRUTest", "TTvxBALWeighTRUTest", "Weigh TRU-Test", nullptr},
    {M::balUranoUDC, "balUranoUDC", "TTvxBALUranoUDC", "UranoUDC", nullptr},
    {M::balSiciliano, "balSiciliano", "TTvxBALSiciliano", "Siciliano", nullptr},
}};

}  // namespace

std::span<const RegistroModelo> ModelosBalanca() {
  return kModelos;
}

std::optional<TTvxBALModelo> ModeloDoOrdinal(int ordinal) {
  if (ordinal < 0 || ordinal >= static_cast<int>(kModelos.size())) return std::nullopt;
  return kModelos[static_cast<std::size_t>(ordinal)].modelo;
}

const RegistroModelo& RegistroDoModelo(TTvxBALModelo modelo) {
  int ordinal = static_cast<int>(modelo);
  if (!ModeloDoOrdinal(ordinal))
    throw ErroBalanca("Modelo de balança inválido: " + std::to_string(ordinal));
  return kModelos[static_cast<std::size_t>(ordinal)];
}

TTvxBAL::TTvxBAL() {
  fsDevice.Porta("COM1");
  fsDevice.TimeOut(1);
  fsBAL = std::make_unique<TTvxBALClass>(this);
}

TTvxBAL::~TTvxBAL() {
  try {
    Desativar();
  } catch (const std::exception&) {
    // Closing ignores errors; the component goes away anyway.
  }
  {
    std::lock_guard trava(mutexTimer_);
    encerrarTimer_ = true;
  }
  sinalTimer_.notify_all();
  if (timer_.joinable()) {
    // A reading handler that destroys its own component runs on the timer thread.
    if (timer_.get_id() == std::this_thread::get_id())
      timer_.detach();
    else
      timer_.join();
  }
}

TTvxBALModelo TTvxBAL::Modelo() const {
  std::lock_guard trava(mutex_);
  return fsModelo;
}

void TTvxBAL::Modelo(TTvxBALModelo modelo) {
  std::lock_guard trava(mutex_);
  if (modelo == fsModelo) return;
  if (fsAtivo) throw ErroBalanca("Não é possível mudar o Modelo com TvxBAL Ativo");
  const RegistroModelo& registro = RegistroDoModelo(modelo);
  if (!registro.criar)
    throw ErroBalanca("Modelo de balança ainda não suportado: " + std::string(registro.modeloStr) +
                      " (" + std::to_string(static_cast<int>(modelo)) + ")");
  auto anterior = std::move(fsBAL);
  auto novo = registro.criar(this);
  novo->PosIni(anterior->PosIni());
  novo->PosFim(anterior->PosFim());
  novo->ArqLOG(anterior->ArqLOG());
  novo->OnGravarLog(anterior->OnGravarLog());
  fsBAL = std::move(novo);
  fsModelo = modelo;
}

std::string TTvxBAL::Porta() const {
  std::lock_guard trava(mutex_);
  return fsDevice.Porta();
}

void TTvxBAL::Porta(std::string_view porta) {
  std::lock_guard trava(mutex_);
  fsDevice.Porta(porta);
}

int TTvxBAL::Intervalo() const {
  std::lock_guard trava(mutex_);
  return fsIntervalo;
}

void TTvxBAL::Intervalo(int milissegundos) {
  std::lock_guard trava(mutex_);
  fsIntervalo = milissegundos < 0 ? 0 : milissegundos;
  AvaliarTimer();
}

bool TTvxBAL::MonitorarBalanca() const {
  std::lock_guard trava(mutex_);
  return fsMonitorarBalanca;
}

void TTvxBAL::MonitorarBalanca(bool monitorar) {
  std::lock_guard trava(mutex_);
  fsMonitorarBalanca = monitorar;
  AvaliarTimer();
}

std::string TTvxBAL::ArqLOG() const {
  std::lock_guard trava(mutex_);
  return fsBAL->ArqLOG();
}

void TTvxBAL::ArqLOG(std::string arquivo) {
  std::lock_guard trava(mutex_);
  fsBAL->ArqLOG(std::move(arquivo));
}

TTvxGravarLog TTvxBAL::OnGravarLog() const {
  std::lock_guard trava(mutex_);
  return fsBAL->OnGravarLog();
}

void TTvxBAL::OnGravarLog(TTvxGravarLog gravar) {
  std::lock_guard trava(mutex_);
  fsBAL->OnGravarLog(std::move(gravar));
}

int TTvxBAL::PosIni() const {
  std::lock_guard trava(mutex_);
  return fsBAL->PosIni();
}

void TTvxBAL::PosIni(int posicao) {
  std::lock_guard trava(mutex_);
  fsBAL->PosIni(posicao);
}

int TTvxBAL::PosFim() const {
  std::lock_guard trava(mutex_);
  return fsBAL->PosFim();
}

void TTvxBAL::PosFim(int quantidade) {
  std::lock_guard trava(mutex_);
  fsBAL->PosFim(quantidade);
}

TTvxBALLePeso TTvxBAL::OnLePeso() const {
  std::lock_guard trava(mutex_);
  return fsOnLePeso;
}

void TTvxBAL::OnLePeso(TTvxBALLePeso aoLer) {
  std::lock_guard trava(mutex_);
  fsOnLePeso = std::move(aoLer);
}

double TTvxBAL::UltimoPesoLido() const {
  std::lock_guard trava(mutex_);
  return fsBAL->UltimoPesoLido();
}

std::string TTvxBAL::UltimaResposta() const {
  std::lock_guard trava(mutex_);
  return fsBAL->UltimaResposta();
}

bool TTvxBAL::Ativo() const {
  std::lock_guard trava(mutex_);
  return fsAtivo;
}

void TTvxBAL::Ativo(bool ativo) {
  if (ativo)
    Ativar();
  else
    Desativar();
}

std::string TTvxBAL::ModeloStr() const {
  std::lock_guard trava(mutex_);
  return fsBAL->ModeloStr();
}

void TTvxBAL::Ativar() {
  std::lock_guard trava(mutex_);
  AtivarTravado();
}

void TTvxBAL::Desativar() {
  std::lock_guard trava(mutex_);
  DesativarTravado();
}

void TTvxBAL::AtivarTravado() {
  if (fsAtivo) return;
  fsBAL->Ativar();
  fsAtivo = true;
  AvaliarTimer();
}

void TTvxBAL::DesativarTravado() {
  if (!fsAtivo) return;
  fsAtivo = false;
  AvaliarTimer();
  fsBAL->Desativar();
}

double TTvxBAL::LePeso(int MillisecTimeOut) {
  double peso;
  double pesoLido;
  std::string resposta;
  TTvxBALLePeso aoLer;
  {
    std::lock_guard trava(mutex_);
    const bool estavaAtivo = fsAtivo;
    const bool monitorava = fsMonitorarBalanca;
    fsMonitorarBalanca = false;
    AvaliarTimer();
    auto restaurar = [&] {
      if (!estavaAtivo) DesativarTravado();
      fsMonitorarBalanca = monitorava;
      AvaliarTimer();
    };
    try {
      AtivarTravado();
      peso = fsBAL->LePeso(MillisecTimeOut);
    } catch (...) {
      restaurar();
      throw;
    }
    pesoLido = fsBAL->UltimoPesoLido();
    resposta = fsBAL->UltimaResposta();
    aoLer = fsOnLePeso;
    restaurar();
  }
  if (aoLer) aoLer(pesoLido, resposta);
  return peso;
}

void TTvxBAL::SolicitarPeso() {
  std::lock_guard trava(mutex_);
  fsBAL->SolicitarPeso();
}

double TTvxBAL::InterpretarRepostaPeso(const std::string& aResposta) {
  std::lock_guard trava(mutex_);
  return fsBAL->InterpretarRepostaPeso(aResposta);
}

bool TTvxBAL::EnviarPrecoKg(std::int64_t aValor, int aMillisecTimeOut) {
  std::lock_guard trava(mutex_);
  const bool estavaAtivo = fsAtivo;
  AtivarTravado();
  try {
    bool aceito = fsBAL->EnviarPrecoKg(aValor, aMillisecTimeOut);
    if (!estavaAtivo) DesativarTravado();
    return aceito;
  } catch (...) {
    if (!estavaAtivo) DesativarTravado();
    throw;
  }
}

void TTvxBAL::AvaliarTimer() {
  const bool habilitar = fsMonitorarBalanca && fsAtivo && fsIntervalo > 0;
  {
    std::lock_guard trava(mutexTimer_);
    timerHabilitado_ = habilitar;
    periodoTimer_ = fsIntervalo;
    ++geracaoTimer_;
    if (habilitar && !timer_.joinable()) timer_ = std::thread(&TTvxBAL::ExecutarTimer, this);
  }
  sinalTimer_.notify_all();
}

void TTvxBAL::ExecutarTimer() {
  std::unique_lock trava(mutexTimer_);
  while (!encerrarTimer_) {
    if (!timerHabilitado_) {
      sinalTimer_.wait(trava);
      continue;
    }
    const unsigned geracao = geracaoTimer_;
    const auto prazo = std::chrono::steady_clock::now() + std::chrono::milliseconds(periodoTimer_);
    if (sinalTimer_.wait_until(trava, prazo,
                               [&] { return encerrarTimer_ || geracaoTimer_ != geracao; }))
      continue;
    trava.unlock();
    TratarTimer();
    trava.lock();
  }
}

// One tick: collects what the scale sent by itself; it never sends a request.
void TTvxBAL::TratarTimer() {
  TTvxBALLePeso aoLer;
  double peso = 0;
  std::string resposta;
  {
    std::lock_guard trava(mutex_);
    {
      std::lock_guard travaTimer(mutexTimer_);
      if (!timerHabilitado_ || encerrarTimer_) return;
    }
    try {
      if (!fsDevice.Ativo() || fsDevice.BytesParaLer() <= 0) return;
    } catch (const std::exception&) {
      return;
    }
    fsBAL->LeSerial(500);
    peso = fsBAL->UltimoPesoLido();
    resposta = fsBAL->UltimaResposta();
    aoLer = fsOnLePeso;
  }
  if (!aoLer) return;
  try {
    aoLer(peso, resposta);
  } catch (...) {
    // A failing handler stops the ticks until the monitoring is set up again.
    std::lock_guard travaTimer(mutexTimer_);
    timerHabilitado_ = false;
  }
}

}  // namespace tarvex
