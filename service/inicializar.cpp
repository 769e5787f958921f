#include "service/inicializar.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>
#include <typeinfo>

#include "base/conversoes.h"
#include "base/regional.h"
#include "service/balanca.h"
#include "service/config.h"
#include "service/controladores.h"
#include "service/estado.h"
#include "service/logger.h"
#include "service/monitor_balanca_thread.h"
#include "service/monitor_peso_thread.h"
#include "service/server_initializer.h"

#ifndef TARVEX_VERSAO
#define TARVEX_VERSAO ""
#endif

namespace tarvex {

std::string DirExe;
std::string DirLogs;
std::string ArqConfigINI;
std::string NomeServico;
std::string DirConfigurado;

std::atomic<bool> ServicoPausado{false};
std::atomic<bool> LeituraEmAndamento{false};
std::atomic<int> PortaServRun{0};
std::atomic<bool> PortaServAlterada{false};

Global<ServidorHttp> ServidorHTTP;
Global<TBalancaService> BalancaService;
Global<TMonitorBalancaThread> MonitorBalanca;
Global<TMonitorarPesoBalancaThread> MonitorPeso;

namespace {

const std::string kAsteriscos(96, '*');
const std::string kHifens(96, '-');

std::string ComBarra(std::string pasta) {
  if (pasta.empty() || pasta.back() != '/') pasta += '/';
  return pasta;
}

std::string SimNao(bool valor) {
  return valor ? "True" : "False";
}

void Detalhe(const std::string& texto) {
  GravarLog("  " + texto);
}

bool EmBranco(const std::string& texto) {
  return Aparar(texto).empty();
}

void ExibirDetalhes(const TConfigService& s, const TConfigBalanca& b, const TConfigWebHook& w) {
  const Regional& regional = RegionalAtual();
  GravarLog("[SERVIÇO]");
  Detalhe("Porta do serviço: " + std::to_string(s.Porta));
  Detalhe("Ativar log: " + SimNao(s.AtivarLog));
  Detalhe("Monitoramento manual da balança: " + SimNao(s.MonitorarBalancaManual));
  Detalhe("Intervalo entre Leituras de Peso: " +
          std::to_string(s.IntervaloLeituraPesoMonitoraManual));
  Detalhe("Tempo de Espera Após Envio do Peso: " + std::to_string(s.IntervaloPosEnvioPesoAPI));
  GravarLog("[BALANÇA]");
  Detalhe("ID da Balança: " + b.IdBalanca);
  Detalhe("Modelo da Balança: " + std::to_string(b.Modelo));
  Detalhe("Porta da Balança: " + b.Porta);
  Detalhe("BaudRate: " + std::to_string(b.BaudRate));
  Detalhe("DataBits: " + std::to_string(b.DataBits));
  Detalhe("Parity: " + std::to_string(b.Parity));
  Detalhe("StopBits: " + std::to_string(b.StopBits));
  Detalhe("HandShake: " + std::to_string(b.HandShake));
  Detalhe("Ativar Log Txt: " + SimNao(b.AtivarLogTxt));
  Detalhe("Monitorar Balança: " + SimNao(b.MonitorarBalanca));
  Detalhe("Intervalo de Monitoramento (ms): " + std::to_string(b.IntervaloMonitorarMs));
  if (b.AtivarLogTxt) Detalhe("Arquivo de Log da Balança: " + b.ArqLogTxt);
  Detalhe("Quantidade Tentativas Leitura Peso quando Erro: " +
          std::to_string(b.QtdTentativasLeituraErro));
  Detalhe("Intervalo entre as Tentativas de Leitura: " +
          std::to_string(b.IntervaloTentativasLeitura));
  Detalhe("Comparar peso Anterior Diferente do Atual para Enviar: " +
          SimNao(b.CompararPesoAnterior));
  Detalhe("Margem de Tolerância para Variação de Peso: " +
          FormatarNumero(b.MargemToleranciaPesoKG, 4, regional));
  Detalhe("Peso minimo para ser enviado a API: " +
          FormatarNumero(b.PesoMinimoEnvioKG, 3, regional));
  Detalhe("Quantidade Consistir Zero (Monitorar Peso): " +
          std::to_string(b.QtdConsistirPesoZeroMonitor));
  Detalhe("Caracter Terminator: " + b.CaracterTerminator);
  GravarLog("[WEBHOOK]");
  Detalhe("ID de Integração WebHook: " + w.IdIntegracao);
  Detalhe("URL WebHook: " + w.URL);
  Detalhe("Token WebHook: " + w.Token);
  Detalhe("Endpoint para Envio do Peso: " + w.EndpointEnvioPeso);
  Detalhe("Endpoint para Envio do Status da Balança: " + w.EndpointEnvioStatus);
  GravarLog(kAsteriscos);
}

void ExibirAusentes(const TConfigService& s, const TConfigBalanca& b, const TConfigWebHook& w) {
  bool semPorta = s.Porta <= 0, semModelo = b.Modelo <= 0, semPortaBalanca = EmBranco(b.Porta);
  bool semURL = EmBranco(w.URL), semEndpoint = EmBranco(w.EndpointEnvioPeso);
  if (!(semPorta || semModelo || semPortaBalanca || semURL || semEndpoint)) return;
  GravarLog(
      "**********CONFIGURAÇÕES ESSENCIAIS AUSENTES - O SERVIÇO PODE NÃO FUNCIONAR "
      "CORRETAMENTE*********");
  GravarLog(kHifens);
  if (semPorta)
    GravarLog(
        "ERRO: A Porta do serviço não foi definida. Defina um valor válido para permitir a "
        "comunicação.");
  if (semModelo)
    GravarLog(
        "ERRO: Nenhum Modelo de balança foi configurado. O serviço não conseguirá se comunicar com "
        "a balança.");
  if (semPortaBalanca)
    GravarLog(
        "ERRO: Nenhuma Porta de balança foi configurado. O serviço não conseguirá se comunicar com "
        "a balança.");
  if (semURL)
    GravarLog(
        "ERRO: A URL do WebHook para envio de peso não foi configurada. O monitoramento não será "
        "funcional.");
  if (semEndpoint)
    GravarLog(
        "ERRO: A Endpoint para Envio do Peso do WebHook não foi configurada. O monitoramento não "
        "será funcional.");
  GravarLog(kAsteriscos);
}

}  // namespace

std::filesystem::path CaminhoExecutavel() {
  std::error_code erro;
  auto caminho = std::filesystem::read_symlink("/proc/self/exe", erro);
  return erro ? std::filesystem::path() : caminho;
}

std::string NomeExecutavel() {
  std::string nome = CaminhoExecutavel().stem().string();
  return nome.substr(0, 260);
}

void GarantirPastaLogs() {
  std::error_code erro;
  std::filesystem::create_directories(DirLogs, erro);
}

void DefinirCaminhos() {
  DirExe = ComBarra(DirConfigurado.empty() ? CaminhoExecutavel().parent_path().string()
                                           : std::filesystem::absolute(DirConfigurado).string());
  DirLogs = DirExe + "Logs/";
  ArqConfigINI = DirExe + "config.ini";
  if (Aparar(NomeServico).empty()) NomeServico = NomeExecutavel();
  GarantirPastaLogs();
}

void Inicializar() {
  CriarConfigPadrao();
  CarregarConfig();
  CriarLogger();
  ExibirParametros(false);
  CriarBalancaService();
  IniciarMonitorBalanca();
  IniciarMonitorPeso();
}

void CriarBalancaService() {
  if (!BalancaService) BalancaService.Definir(std::make_shared<TBalancaService>());
}

void IniciarMonitorBalanca() {
  if (MonitorBalanca) return;
  auto monitor = std::make_shared<TMonitorBalancaThread>();
  MonitorBalanca.Definir(monitor);
  monitor->Start();
}

void PararMonitorBalanca() {
  auto monitor = MonitorBalanca.Obter();
  if (!monitor) return;
  monitor->Pause();
  MonitorBalanca.Retirar();
  monitor.reset();
}

bool MonitoramentoManualConfigurado() {
  TConfigWebHook w = ConfigWebHook.Copia();
  return ConfigService.Copia().MonitorarBalancaManual && !Aparar(w.URL).empty() &&
         !Aparar(w.EndpointEnvioPeso).empty();
}

void IniciarMonitorPeso() {
  if (!MonitoramentoManualConfigurado() || MonitorPeso) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  auto monitor = std::make_shared<TMonitorarPesoBalancaThread>();
  MonitorPeso.Definir(monitor);
  monitor->Start();
}

void PararMonitorPeso() {
  auto monitor = MonitorPeso.Obter();
  if (!monitor) return;
  monitor->Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  MonitorPeso.Retirar();
  monitor.reset();
}

void AplicarMonitoramentoManual() {
  if (MonitoramentoManualConfigurado())
    IniciarMonitorPeso();
  else
    PararMonitorPeso();
}

void RecarregarParametros() {
  CarregarConfig();
  AtualizarDestinoLog();
  if (auto balanca = BalancaService.Obter()) balanca->ConectarBalanca(true, true, false, true);
  AplicarMonitoramentoManual();
  ExibirParametros(true);
  PortaServAlterada = ConfigService.Copia().Porta != PortaServRun;
}

void IniciarServico() {
  try {
    DefinirCaminhos();
    Inicializar();
    DefinirTratadoresApi(TratadoresDoServico());
    StartServer(ConfigService.Copia().Porta);
  } catch (const std::exception& erro) {
    GravarLog(std::string(typeid(erro).name()) + ": " + erro.what());
  }
}

void Finalizar() {
  PararMonitorBalanca();
  PararMonitorPeso();
  StopServer();
  if (auto balanca = BalancaService.Retirar()) balanca.reset();
  if (auto logger = LogServico.Retirar()) logger.reset();
}

void ExibirParametros(bool atualizacao) {
  if (!LogServico) return;
  TConfigService s = ConfigService.Copia();
  TConfigBalanca b = ConfigBalanca.Copia();
  TConfigWebHook w = ConfigWebHook.Copia();
  GravarLog(kAsteriscos);
  GravarLog(atualizacao ? "*************************PARÂMETROS ATUALIZADOS - PARAMETRIZAÇÃO "
                          "ATUAL**************************"
                        : "****************************INÍCIO DO SERVIÇO - PARAMETRIZAÇÃO "
                          "ATUAL****************************");
  GravarLog(kHifens);
  ExibirDetalhes(s, b, w);
  ExibirAusentes(s, b, w);
  if (s.Porta > 0) {
    GravarLog("Acesso ao Swagger: http://localhost:" + std::to_string(s.Porta) +
              "//swagger/doc/html#/");
    GravarLog(kAsteriscos);
  }
}

void PausarServico() {
  ServicoPausado = true;
}
void ContinuarServico() {
  ServicoPausado = false;
}

std::string VersaoExecutavel() {
  std::string_view versao = TARVEX_VERSAO;
  return versao.empty() ? "Versão desconhecida" : std::string(versao);
}

std::string TextoStatusPeso(int codigo) {
  switch (codigo) {
    case -10:
      return "Sobrecarga de peso";
    case -2:
      return "Peso negativo";
    case -1:
      return "Peso instável";
    default:
      return "Falha na leitura da balança. Verifique se a comunicação com o serviço " +
             NomeServico + " está funcionando corretamente.";
  }
}

TAPIError CriarErroAPI(std::int32_t codigo) {
  return TAPIError{codigo, TextoStatusPeso(codigo)};
}

}  // namespace tarvex
