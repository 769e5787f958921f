#include "service/balanca.h"

#include <chrono>
#include <thread>

#include "base/conversoes.h"
#include "base/regional.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "service/logger.h"
#include "service/webhook_service.h"

namespace tarvex {
namespace {

const char* const kConectado = "Conectado";
const char* const kDesconectado = "Desconectado";

void Dormir(int milissegundos) {
  if (milissegundos > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milissegundos));
}

void DefinirStatus(const char* status) {
  ConfigBalanca.Alterar([&](TConfigBalanca& b) { b.Status = status; });
}

std::string Peso3(double peso) {
  return FormatarNumero(peso, 3, RegionalAtual());
}

// "Tentativa N: " + texto, as the read's log lines number their attempts.
std::string Tentativa(int tentativa, const std::string& texto) {
  return "Tentativa " + std::to_string(tentativa) + ": " + texto;
}

std::string MaiusculasAscii(std::string texto) {
  for (char& c : texto)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return texto;
}

std::string MensagemDeErroAoConectar(const std::string& erro) {
  std::string maiusculo = MaiusculasAscii(erro);
  if (maiusculo.find("COMMUNICATION") != std::string::npos)
    return "Falha na comunicação com a balança. Verifique se a porta de comunicação está "
           "ativa/livre: " +
           erro;
  if (maiusculo.find("ACCESS DENIED") != std::string::npos)
    return "Erro de acesso à balança: Verifique permissões e conexões. Detalhes: " + erro;
  return "Erro ao conectar à balança: " + erro;
}

// Keeps LeituraEmAndamento up while any weight request is running or waiting for the scale.
class LeituraEmCurso {
 public:
  explicit LeituraEmCurso(std::atomic<int>& contador) : contador_(contador) {
    if (++contador_ == 1) LeituraEmAndamento = true;
  }
  ~LeituraEmCurso() {
    if (--contador_ == 0) LeituraEmAndamento = false;
  }
  LeituraEmCurso(const LeituraEmCurso&) = delete;
  LeituraEmCurso& operator=(const LeituraEmCurso&) = delete;

 private:
  std::atomic<int>& contador_;
};

}  // namespace

TBalancaService::TBalancaService() : FBalanca(std::make_unique<TTvxBAL>()) {
  ConectarBalanca(false, true, false, true);
}

TBalancaService::~TBalancaService() {
  FEncerrando = true;
  DesconectarBalanca();
}

void TBalancaService::EnviarAvisos(const Avisos& avisos) {
  for (const auto& mensagem : avisos) EnviarStatus(mensagem);
}

void TBalancaService::Pausar() const {
  Dormir(ConfigBalanca.Copia().IntervaloTentativasLeitura);
}

bool TBalancaService::ConectarBalanca(bool Reconecta, bool ConsisteConexao, bool ignoraLogErro,
                                      bool avisaAPI) {
  Avisos avisos;
  bool conectado;
  {
    std::lock_guard trava(FTroca);
    conectado = ConectarTravado(Reconecta, ConsisteConexao, ignoraLogErro, avisaAPI, avisos);
  }
  EnviarAvisos(avisos);
  return conectado;
}

bool TBalancaService::ConectarTravado(bool Reconecta, bool ConsisteConexao, bool ignoraLogErro,
                                      bool avisaAPI, Avisos& avisos) {
  if (FBalanca->Ativo()) {
    if (!Reconecta) return true;
    DesconectarTravado();
  }
  const TConfigBalanca config = ConfigBalanca.Copia();
  if (config.Modelo <= 0 || config.Porta.empty()) return false;
  try {
    auto modelo = ModeloDoOrdinal(config.Modelo);
    if (!modelo) throw ErroBalanca("Modelo de balança inválido: " + std::to_string(config.Modelo));
    FBalanca->Modelo(*modelo);
    TTvxDevice& device = FBalanca->Device();
    device.HandShake(static_cast<TTvxHandShake>(config.HandShake));
    device.Parity(static_cast<TTvxSerialParity>(config.Parity));
    device.Stop(static_cast<TTvxSerialStop>(config.StopBits));
    device.Data(config.DataBits);
    device.Baud(config.BaudRate);
    FBalanca->Porta(config.Porta);
    FBalanca->MonitorarBalanca(
        ConfigService.Copia().MonitorarBalancaManual ? false : config.MonitorarBalanca);
    FBalanca->Intervalo(config.IntervaloMonitorarMs);
    AtualizarNomeLogTravado();
    ConfigurarEventoLePeso();
    FBalanca->Ativar();
    if (ConsisteConexao) LerPesoTravado("TBalancaService", true);

    const std::string porta = FBalanca->Porta();
    if (FBalanca->Ativo()) {
      std::string mensagem = "BALANÇA: Serviço conectado com a porta: " + porta +
                             ". Porta onde a balança está configurada!";
      GravarLog(mensagem);
      DefinirStatus(kConectado);
      if (avisaAPI) avisos.push_back(mensagem);
      return true;
    }
    std::string mensagem = "Erro ao conectar à balança com a porta: " + porta +
                           ". Verifique se a balança está ligada e conectada com o computador! - "
                           "Serviço está tentando reconectar com a balança...";
    DefinirStatus(kDesconectado);
    if (avisaAPI) avisos.push_back(mensagem);
    if (!ignoraLogErro) GravarLog(mensagem);
    return false;
  } catch (const std::exception& erro) {
    // The scale did not open: whoever asks (the API, the webhook) is told so, rather than
    // keep an empty or stale status.
    DefinirStatus(kDesconectado);
    if (ignoraLogErro) return false;
    std::string mensagem = MensagemDeErroAoConectar(erro.what());
    GravarLog(mensagem);
    if (avisaAPI) avisos.push_back(mensagem);
    return false;
  }
}

bool TBalancaService::DesconectarBalanca() {
  std::lock_guard trava(FTroca);
  return DesconectarTravado();
}

bool TBalancaService::DesconectarTravado() {
  DefinirStatus(kDesconectado);
  if (!FBalanca->Ativo()) return false;
  FBalanca->Desativar();
  return true;
}

bool TBalancaService::BalancaAtivo() {
  return FBalanca->Ativo();
}

void TBalancaService::AtualizarNomeLog() {
  std::lock_guard trava(FTroca);
  AtualizarNomeLogTravado();
}

void TBalancaService::AtualizarNomeLogTravado() {
  if (!ConfigBalanca.Copia().AtivarLogTxt) {
    FBalanca->ArqLOG("");
    return;
  }
  FBalanca->ArqLOG(DirLogs + FormatarDataHora("yyyymmdd", Agora(), RegionalAtual()) +
                   "_Balanca.log");
}

void TBalancaService::ConfigurarEventoLePeso() {
  if (FBalanca->MonitorarBalanca())
    FBalanca->OnLePeso(
        [this](double peso, const std::string& resposta) { AoLerPeso(peso, resposta); });
  else
    FBalanca->OnLePeso(nullptr);
}

double TBalancaService::LerPeso(const std::string& ClassNameGet, bool IgnoredLog) {
  LeituraEmCurso leitura(FLeiturasEmCurso);
  std::lock_guard trava(FTroca);
  return LerPesoTravado(ClassNameGet, IgnoredLog);
}

double TBalancaService::LerPesoTravado(const std::string& ClassNameGet, bool IgnoredLog) {
  auto log = [&](const std::string& texto) {
    if (!IgnoredLog) GravarLog(texto);
  };
  const bool monitorava = FBalanca->MonitorarBalanca();
  FBalanca->MonitorarBalanca(false);
  FBalanca->OnLePeso(nullptr);

  const TConfigBalanca config = ConfigBalanca.Copia();
  double resultado = -9;
  bool lido = false;
  for (int tentativa = 1; tentativa <= config.QtdTentativasLeituraErro && !lido; ++tentativa) {
    try {
      Avisos semAvisos;
      if (!ConectarTravado(false, false, false, false, semAvisos)) {
        log(ClassNameGet + " - " + Tentativa(tentativa, "Falha ao conectar à balança."));
        Pausar();
        continue;
      }
      resultado = FBalanca->LePeso(config.TimeOutLePeso);
      if (resultado > -1) {
        log(ClassNameGet + " - Peso recebido: " + Peso3(resultado));
        lido = true;
        break;
      }
      Pausar();
      log(TextoStatusPeso(static_cast<int>(resultado)) + " - " +
          Tentativa(tentativa, "Peso inválido, tentando novamente..."));
    } catch (const std::exception& erro) {
      log(ClassNameGet + " - " +
          Tentativa(tentativa, "Erro ao ler peso: " + std::string(erro.what())));
      resultado = -9;
      Pausar();
    }
  }
  if (!lido)
    log(ClassNameGet + " - Erro: Número máximo de tentativas atingido. Falha ao obter o peso.");

  if (resultado == -9)
    DesconectarTravado();
  else
    ConfigBalanca.Alterar(
        [&](TConfigBalanca& b) { b.Ocupacao = resultado == 0 ? "livre" : "ocupado"; });
  FBalanca->MonitorarBalanca(monitorava);
  ConfigurarEventoLePeso();
  return resultado;
}

double TBalancaService::LerPesoMonitora(const std::string& ClassNameGet, bool IgnoredLog) {
  std::lock_guard trava(FTroca);
  const TConfigBalanca config = ConfigBalanca.Copia();
  double resultado = -9;
  for (int tentativa = 1; tentativa <= config.QtdTentativasLeituraErro; ++tentativa) {
    try {
      resultado = FBalanca->LePeso(config.TimeOutLePeso);
      if (!config.CompararPesoAnterior && resultado == 0) {
        const bool verificaTerminador = !Aparar(config.CaracterTerminator).empty();
        const char terminador = static_cast<char>(config.CharCaracterTerminator & 0xFF);
        if (verificaTerminador &&
            FBalanca->UltimaResposta().find(terminador) == std::string::npos) {
          resultado = -1;
          Dormir(300);
          continue;
        }
        for (int i = 0; i < config.QtdConsistirPesoZeroMonitor; ++i) {
          FRespostaBal = FBalanca->UltimaResposta();
          Dormir(300);
          resultado = FBalanca->LePeso(config.TimeOutLePeso);
          if (FBalanca->UltimaResposta() != FRespostaBal) {
            resultado = -1;
            break;
          }
        }
      }
      if (resultado > -1) break;
      Pausar();
    } catch (const std::exception& erro) {
      if (!IgnoredLog)
        GravarLog(ClassNameGet + " - LerPesoMonitora - " +
                  Tentativa(tentativa, "Erro ao ler peso: " + std::string(erro.what())));
      resultado = -9;
      Pausar();
    }
  }
  if (resultado == -9) DesconectarTravado();
  return resultado;
}

void TBalancaService::AoLerPeso(double Peso, const std::string& Resposta) {
  if (FEncerrando) return;
  if (Resposta.empty()) {
    GravarLog("Erro: Resposta da balança vazia.");
    return;
  }
  if (MaiusculasAscii(Resposta).find("ERRO") != std::string::npos) {
    GravarLog("Erro reportado pela balança: " + Resposta);
    std::lock_guard trava(FTroca);
    DesconectarTravado();
    Pausar();
    Avisos semAvisos;
    ConectarTravado(false, false, false, false, semAvisos);
    return;
  }
  if (FBalanca->MonitorarBalanca() && !ConfigService.Copia().MonitorarBalancaManual &&
      Peso > ConfigBalanca.Copia().PesoMinimoEnvioKG) {
    EnviarPeso("", Peso, 0);
    GravarLog("Peso recebido: " + Peso3(Peso));
  }
}

bool TBalancaService::TestarPortaBalanca() {
  std::lock_guard trava(FTroca);
  const TConfigBalanca config = ConfigBalanca.Copia();
  Avisos semAvisos;
  if (!Aparar(config.Porta).empty()) return ConectarTravado(true, true, false, false, semAvisos);
  if (config.Modelo > 0 && config.BaudRate > 0 && config.DataBits > 0)
    return ProcurarPortaBalanca();
  return false;
}

bool TBalancaService::ProcurarPortaBalanca() {
  std::vector<std::string> portas;
  FBalanca->Device().AcharPortasSeriais(portas, 64);
  Avisos semAvisos;
  auto tentar = [&](const std::string& porta) {
    ConfigBalanca.Alterar([&](TConfigBalanca& b) { b.Porta = porta; });
    return ConectarTravado(true, true, false, false, semAvisos);
  };
  for (const auto& porta : portas)
    if (tentar(porta)) return true;
  std::string portaOld = ConfigBalanca.Copia().PortaOld;
  if (!Aparar(portaOld).empty() && tentar(portaOld)) return true;
  ConfigBalanca.Alterar([](TConfigBalanca& b) { b.Porta.clear(); });
  return false;
}

}  // namespace tarvex
