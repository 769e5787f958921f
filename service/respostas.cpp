#include "service/respostas.h"

namespace tarvex {

ObjetoJson TPesoResponse::ToJSON() const {
  return ObjetoJson().Numero("peso", Peso);
}

ObjetoJson TAPIError::ToJSON() const {
  return ObjetoJson().Inteiro("codigo", Codigo).Texto("erro", Erro);
}

ObjetoJson TBalancaResponse::ToJSON() const {
  const TConfigBalanca& b = Config;
  ObjetoJson json;
  json.Texto("IdBalanca", b.IdBalanca)
      .Inteiro("Modelo", b.Modelo)
      .Texto("Porta", b.Porta)
      .Inteiro("BaudRate", b.BaudRate)
      .Inteiro("DataBits", b.DataBits)
      .Inteiro("Parity", b.Parity)
      .Inteiro("StopBits", b.StopBits)
      .Inteiro("HandShake", b.HandShake)
      .Logico("AtivarLogTxt", b.AtivarLogTxt)
      .Logico("MonitorarBalanca", b.MonitorarBalanca)
      .Inteiro("IntervaloMonitorarMs", b.IntervaloMonitorarMs)
      .Inteiro("QtdTentativasLeituraErro", b.QtdTentativasLeituraErro)
      .Inteiro("IntervaloTentativasLeitura", b.IntervaloTentativasLeitura)
      .Logico("CompararPesoAnterior", b.CompararPesoAnterior)
      .Numero("MargemToleranciaPesoKG", b.MargemToleranciaPesoKG)
      .Numero("PesoMinimoEnvioKG", b.PesoMinimoEnvioKG)
      .Inteiro("TimeOutLePeso", b.TimeOutLePeso)
      .Texto("Status", b.Status)
      .Texto("Ocupacao", b.Ocupacao)
      .Inteiro("QtdConsistirPesoZeroMonitor", b.QtdConsistirPesoZeroMonitor)
      .Texto("CaracterTerminator", b.CaracterTerminator);
  return json;
}

ObjetoJson TWebhookResponse::ToJSON() const {
  const TConfigWebHook& w = Config;
  ObjetoJson json;
  json.Texto("IdIntegracao", w.IdIntegracao)
      .Texto("URL", w.URL)
      .Texto("Token", w.Token)
      .Texto("EndpointEnvioPeso", w.EndpointEnvioPeso)
      .Texto("EndpointEnvioStatus", w.EndpointEnvioStatus);
  return json;
}

ObjetoJson TServiceResponse::ToJSON() const {
  const TConfigService& s = Config;
  ObjetoJson json;
  json.Texto("Versao", s.Versao)
      .Logico("AtivarLog", s.AtivarLog)
      .Logico("MonitorarBalancaManual", s.MonitorarBalancaManual)
      .Inteiro("IntervaloLeituraPesoMonitoraManual", s.IntervaloLeituraPesoMonitoraManual)
      .Inteiro("IntervaloPosEnvioPesoAPI", s.IntervaloPosEnvioPesoAPI)
      .Inteiro("IntervaloVerificaBalanca", s.IntervaloVerificaBalanca)
      .Inteiro("PeriodoArmazenamentoLog", s.PeriodoArmazenamentoLog);
  return json;
}

}  // namespace tarvex
