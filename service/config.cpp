#include "service/config.h"

#include <filesystem>

#include "base/conversoes.h"
#include "base/ini.h"
#include "base/regional.h"
#include "service/estado.h"
#include "service/inicializar.h"

namespace tarvex {

Registro<TConfigService> ConfigService;
Registro<TConfigBalanca> ConfigBalanca;
Registro<TConfigWebHook> ConfigWebHook;

namespace {

constexpr const char* kService = "Service";
constexpr const char* kBalanca = "Balanca";
constexpr const char* kWebhook = "Webhook";

int InteiroComFallback(const ArquivoIni& ini, const char* secao, const char* chave, int padrao) {
  return InteiroPositivoOuPadrao(ini.LerInteiro(secao, chave, padrao), padrao);
}

double RealComFallback(const ArquivoIni& ini, const char* chave, double padrao) {
  return RealPositivoOuPadrao(padrao, ini.LerTexto(kBalanca, chave, ""));
}

void CarregarService(const ArquivoIni& ini, TConfigService& c) {
  c.Porta = ini.LerInteiro(kService, "Porta", 50994);
  c.AtivarLog = TextoParaBool(ini.LerTexto(kService, "AtivarLog", "true"));
  c.MonitorarBalancaManual =
      TextoParaBool(ini.LerTexto(kService, "MonitorarBalancaManual", "false"));
  c.IntervaloLeituraPesoMonitoraManual =
      InteiroComFallback(ini, kService, "IntervaloLeituraPesoMonitoraManual", 300);
  c.IntervaloPosEnvioPesoAPI = InteiroComFallback(ini, kService, "IntervaloPosEnvioPesoAPI", 1500);
  c.IntervaloVerificaBalanca = InteiroComFallback(ini, kService, "IntervaloVerificaBalanca", 5000);
  c.PeriodoArmazenamentoLog = InteiroComFallback(ini, kService, "PeriodoArmazenamentoLog", 15);
}

void CarregarBalanca(const ArquivoIni& ini, TConfigBalanca& c) {
  c.IdBalanca = ini.LerTexto(kBalanca, "IdBalanca", "");
  c.Modelo = ini.LerInteiro(kBalanca, "Modelo", 0);
  c.Porta = Aparar(ini.LerTexto(kBalanca, "Porta", ""));
  c.PortaOld = c.Porta;
  c.BaudRate = ini.LerInteiro(kBalanca, "BaudRate", 9600);
  c.DataBits = ini.LerInteiro(kBalanca, "DataBits", 8);
  c.Parity = ini.LerInteiro(kBalanca, "Parity", 0);
  c.StopBits = ini.LerInteiro(kBalanca, "StopBits", 0);
  c.HandShake = ini.LerInteiro(kBalanca, "HandShake", 0);
  c.AtivarLogTxt = TextoParaBool(ini.LerTexto(kBalanca, "AtivarLogTxt", "false"));
  c.MonitorarBalanca = TextoParaBool(ini.LerTexto(kBalanca, "MonitorarBalanca", "false"));
  c.IntervaloMonitorarMs = InteiroComFallback(ini, kBalanca, "IntervaloMonitorarMs", 200);
  if (c.AtivarLogTxt) c.ArqLogTxt = DirLogs + "logBal.txt";
  c.QtdTentativasLeituraErro = InteiroComFallback(ini, kBalanca, "QtdTentativasLeituraErro", 3);
  c.IntervaloTentativasLeitura =
      InteiroComFallback(ini, kBalanca, "IntervaloTentativasLeitura", 1000);
  c.CompararPesoAnterior = TextoParaBool(ini.LerTexto(kBalanca, "CompararPesoAnterior", "false"));
  c.QtdConsistirPesoZeroMonitor =
      InteiroComFallback(ini, kBalanca, "QtdConsistirPesoZeroMonitor", 2);
  c.CaracterTerminator = TextoOuPadrao(ini.LerTexto(kBalanca, "CaracterTerminator", "#3"), "#3");
  c.MargemToleranciaPesoKG =
      RealComFallback(ini, "MargemToleranciaPesoKG", kMargemToleranciaPadrao);
  c.PesoMinimoEnvioKG = RealComFallback(ini, "PesoMinimoEnvioKG", kPesoMinimoEnvioPadrao);
  c.TimeOutLePeso = InteiroComFallback(ini, kBalanca, "TimeOutLePeso", 3000);
  AtualizarCharTerminator(c);
}

void CarregarWebHook(const ArquivoIni& ini, TConfigWebHook& c) {
  c.IdIntegracao = ini.LerTexto(kWebhook, "IdIntegracao", "");
  c.URL = ini.LerTexto(kWebhook, "URL", "");
  c.Token = ini.LerTexto(kWebhook, "Token", "");
  c.EndpointEnvioPeso = ini.LerTexto(kWebhook, "EndpointEnvioPeso", "");
  c.EndpointEnvioStatus = ini.LerTexto(kWebhook, "EndpointEnvioStatus", "");
}

}  // namespace

void CriarConfigPadrao() {
  if (std::filesystem::exists(ArqConfigINI)) return;
  ArquivoIni ini(ArqConfigINI);
  ini.EscreverInteiro(kService, "Porta", 50994);
  ini.EscreverTexto(kService, "AtivarLog", "S");
  ini.EscreverTexto(kService, "MonitorarBalancaManual", "N");
  ini.EscreverInteiro(kService, "IntervaloLeituraPesoMonitoraManual", 500);
  ini.EscreverInteiro(kService, "IntervaloPosEnvioPesoAPI", 1500);
  ini.EscreverInteiro(kService, "IntervaloVerificaBalanca", 5000);
  ini.EscreverInteiro(kService, "PeriodoArmazenamentoLog", 15);
  ini.Salvar();
}

void CarregarConfig() {
  ArquivoIni ini(ArqConfigINI);
  std::string versao = VersaoExecutavel();
  ConfigService.Alterar([&](TConfigService& c) {
    c.Versao = versao;
    CarregarService(ini, c);
  });
  ConfigBalanca.Alterar([&](TConfigBalanca& c) { CarregarBalanca(ini, c); });
  ConfigWebHook.Alterar([&](TConfigWebHook& c) { CarregarWebHook(ini, c); });
}

bool TextoParaBool(const std::string& texto) {
  std::string maiusculo = texto;
  for (char& c : maiusculo)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return maiusculo == "TRUE" || maiusculo == "S";
}

std::string BoolParaTexto(bool valor) {
  return valor ? "S" : "N";
}

std::string TextoOuPadrao(const std::string& valor, const std::string& padrao) {
  return Aparar(valor).empty() ? padrao : valor;
}

std::int32_t InteiroPositivoOuPadrao(std::int32_t valor, std::int32_t padrao) {
  return valor > 0 ? valor : padrao;
}

double RealPositivoOuPadrao(double padrao, double valor) {
  return valor > 0.0 ? valor : padrao;
}

double RealPositivoOuPadrao(double padrao, const std::string& valor) {
  auto lido = LerReal(valor, RegionalAtual().separadorDecimal);
  return lido ? RealPositivoOuPadrao(padrao, *lido) : padrao;
}

void AtualizarCharTerminator(TConfigBalanca& config) {
  const std::string& texto = config.CaracterTerminator;
  if (texto.size() > 1 && texto[0] == '#') {
    auto codigo = LerInteiro(std::string_view(texto).substr(1)).value_or(0);
    config.CharCaracterTerminator =
        static_cast<char16_t>(static_cast<std::uint32_t>(codigo) & 0xFFFF);
    return;
  }
  config.CharCaracterTerminator =
      texto.empty() ? u'\0' : static_cast<char16_t>(static_cast<unsigned char>(texto[0]));
  config.CaracterTerminator.clear();
}

}  // namespace tarvex
