#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "service/config.h"
#include "service/logger.h"
#include "service/webhook_service.h"
#include "tests/comum/apoio.h"
#include "tests/comum/receptor_webhook.h"

namespace tarvex::teste {

using namespace std::chrono_literals;

// Shortened client timings, so failures and pauses cost a fraction of a second.
inline OpcoesClienteWebhook OpcoesRapidas() {
  OpcoesClienteWebhook opcoes;
  opcoes.pausaEntreTentativas = 150ms;
  opcoes.limiteConexao = 300ms;
  opcoes.limiteTroca = 600ms;
  return opcoes;
}

// A configured webhook pointing at a receiver on loopback, and the service log in a folder of
// its own.
class WebhookTeste : public ::testing::Test {
 protected:
  void SetUp() override {
    logger_ = std::make_shared<TLogger>(ldFile, pasta_.Caminho().string() + "/", "");
    LogServico.Definir(logger_);
    OpcoesWebhook.Definir(OpcoesRapidas());
    TConfigService service;
    service.Versao = "1.0.0.0";
    ConfigService.Definir(service);
    TConfigBalanca balanca;
    balanca.IdBalanca = "BAL-01";
    ConfigBalanca.Definir(balanca);
    TConfigWebHook webhook;
    webhook.IdIntegracao = "INT-7";
    webhook.URL = receptor_.Endereco();
    webhook.Token = "abc123";
    webhook.EndpointEnvioPeso = "peso";
    webhook.EndpointEnvioStatus = "status";
    ConfigWebHook.Definir(webhook);
  }

  void TearDown() override {
    LogServico.Retirar();
    OpcoesWebhook.Definir({});
    ConfigService.Definir({});
    ConfigBalanca.Definir({});
    ConfigWebHook.Definir({});
  }

  // The messages written to the service log, without their time stamps.
  std::vector<std::string> Log() const {
    std::vector<std::string> mensagens;
    for (const auto& linha : Linhas(LerArquivo(logger_->ArquivoDoDia())))
      mensagens.push_back(linha.substr(linha.find(" - ") + 3));
    return mensagens;
  }

  // The whole request as the client puts it on the wire (httplib writes the headers in name order).
  std::string PedidoEsperado(const std::string& alvo, const std::string& corpo,
                             const std::string& token = "abc123") const {
    std::string texto = "POST " + alvo + " HTTP/1.1\r\nAccept: */*\r\nAccept-Charset: UTF-8\r\n";
    if (!token.empty()) texto += "Authorization: Bearer " + token + "\r\n";
    return texto + "Connection: close\r\nContent-Length: " + std::to_string(corpo.size()) +
           "\r\nContent-Type: application/json\r\nHost: 127.0.0.1:" +
           std::to_string(receptor_.Porta()) +
           "\r\nUser-Agent: cpp-httplib/" CPPHTTPLIB_VERSION "\r\n\r\n" + corpo;
  }

  void AlterarWebhook(const std::function<void(TConfigWebHook&)>& alteracao) {
    ConfigWebHook.Alterar(alteracao);
  }

  void AlterarBalanca(const std::function<void(TConfigBalanca&)>& alteracao) {
    ConfigBalanca.Alterar(alteracao);
  }

  PastaTemporaria pasta_;
  std::shared_ptr<TLogger> logger_;
  ReceptorWebhook receptor_;
};

// Runs `acao` and gives how long it took.
template <class F>
std::chrono::milliseconds Cronometrar(F&& acao) {
  const auto inicio = std::chrono::steady_clock::now();
  acao();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               inicio);
}

}  // namespace tarvex::teste
