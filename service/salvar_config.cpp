#include "service/salvar_config.h"

#include <functional>
#include <mutex>

#include "base/conversoes.h"
#include "base/ini.h"
#include "base/regional.h"
#include "service/balanca.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "service/logger.h"

namespace tarvex {
namespace {

// Two saves at once would each read the file and the last rename would drop the other's
// section: the read-change-write of the file is serialised.
std::mutex mutexArquivo;

void GravarSecao(const std::function<void(ArquivoIni&)>& escrever) {
  std::lock_guard trava(mutexArquivo);
  ArquivoIni ini(ArqConfigINI);
  escrever(ini);
  ini.Salvar();
}

std::string Real(double valor) {
  return FormatarGeral(valor, RegionalAtual().separadorDecimal);
}

void EscreverBalanca(ArquivoIni& ini, const TConfigBalanca& b) {
  const char* s = "Balanca";
  ini.EscreverTexto(s, "IdBalanca", b.IdBalanca);
  ini.EscreverInteiro(s, "Modelo", b.Modelo);
  ini.EscreverTexto(s, "Porta", b.Porta);
  ini.EscreverInteiro(s, "BaudRate", b.BaudRate);
  ini.EscreverInteiro(s, "DataBits", b.DataBits);
  ini.EscreverInteiro(s, "Parity", b.Parity);
  ini.EscreverInteiro(s, "StopBits", b.StopBits);
  ini.EscreverInteiro(s, "HandShake", b.HandShake);
  ini.EscreverTexto(s, "AtivarLogTxt", BoolParaTexto(b.AtivarLogTxt));
  ini.EscreverTexto(s, "MonitorarBalanca", BoolParaTexto(b.MonitorarBalanca));
  ini.EscreverInteiro(s, "IntervaloMonitorarMs", b.IntervaloMonitorarMs);
  ini.EscreverInteiro(s, "QtdTentativasLeituraErro", b.QtdTentativasLeituraErro);
  ini.EscreverInteiro(s, "IntervaloTentativasLeitura", b.IntervaloTentativasLeitura);
  ini.EscreverTexto(s, "CompararPesoAnterior", BoolParaTexto(b.CompararPesoAnterior));
  ini.EscreverInteiro(s, "QtdConsistirPesoZeroMonitor", b.QtdConsistirPesoZeroMonitor);
  ini.EscreverTexto(s, "CaracterTerminator", b.CaracterTerminator);
  ini.EscreverTexto(s, "MargemToleranciaPesoKG", Real(b.MargemToleranciaPesoKG));
  ini.EscreverTexto(s, "PesoMinimoEnvioKG", Real(b.PesoMinimoEnvioKG));
  ini.EscreverInteiro(s, "TimeOutLePeso", b.TimeOutLePeso);
}

void EscreverWebHook(ArquivoIni& ini, const TConfigWebHook& w) {
  const char* s = "Webhook";
  ini.EscreverTexto(s, "IdIntegracao", w.IdIntegracao);
  ini.EscreverTexto(s, "URL", w.URL);
  ini.EscreverTexto(s, "Token", w.Token);
  ini.EscreverTexto(s, "EndpointEnvioPeso", w.EndpointEnvioPeso);
  ini.EscreverTexto(s, "EndpointEnvioStatus", w.EndpointEnvioStatus);
}

void EscreverService(ArquivoIni& ini, const TConfigService& c) {
  const char* s = "Service";
  ini.EscreverTexto(s, "AtivarLog", BoolParaTexto(c.AtivarLog));
  ini.EscreverTexto(s, "MonitorarBalancaManual", BoolParaTexto(c.MonitorarBalancaManual));
  ini.EscreverInteiro(s, "IntervaloLeituraPesoMonitoraManual",
                      c.IntervaloLeituraPesoMonitoraManual);
  ini.EscreverInteiro(s, "IntervaloPosEnvioPesoAPI", c.IntervaloPosEnvioPesoAPI);
  ini.EscreverInteiro(s, "IntervaloVerificaBalanca", c.IntervaloVerificaBalanca);
  ini.EscreverInteiro(s, "PeriodoArmazenamentoLog", c.PeriodoArmazenamentoLog);
}

// Clears the pause flag however the save ends.
struct PausaDoServico {
  PausaDoServico() { PausarServico(); }
  ~PausaDoServico() { ContinuarServico(); }
  PausaDoServico(const PausaDoServico&) = delete;
  PausaDoServico& operator=(const PausaDoServico&) = delete;
};

}  // namespace

void SalvarConfigBalanca() {
  PausaDoServico pausa;
  // Before the write: a port search may change Porta, and the port it leaves is the one saved.
  if (auto balanca = BalancaService.Obter()) balanca->TestarPortaBalanca();
  GravarSecao([](ArquivoIni& ini) { EscreverBalanca(ini, ConfigBalanca.Copia()); });
  ConfigBalanca.Alterar([](TConfigBalanca& b) { AtualizarCharTerminator(b); });
  ExibirParametros(true);
}

void SalvarConfigWebHook() {
  GravarSecao([](ArquivoIni& ini) { EscreverWebHook(ini, ConfigWebHook.Copia()); });
  AplicarMonitoramentoManual();
  ExibirParametros(true);
}

void SalvarConfigService() {
  GravarSecao([](ArquivoIni& ini) { EscreverService(ini, ConfigService.Copia()); });
  AtualizarDestinoLog();
  AplicarMonitoramentoManual();
  ExibirParametros(true);
}

}  // namespace tarvex
