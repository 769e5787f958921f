#include "service/logger.h"

#include <cstdio>
#include <iostream>

#include "base/conversoes.h"
#include "base/regional.h"
#include "service/config.h"
#include "service/estado.h"

namespace tarvex {

Global<TLogger> LogServico;
std::atomic<TLogDestination> DestinoLog{ldNone};

TLogger::TLogger(TLogDestination destino, std::string pastaLog, std::string webhookURL)
    : FLogDestination(destino),
      FLogFilePath(std::move(pastaLog)),
      FWebhookURL(std::move(webhookURL)) {}

void TLogger::AlterarParametros(TLogDestination destino) {
  FLogDestination = destino;
}

std::string FormatarLinhaLog(const std::string& mensagem) {
  return FormatarDataHora("dd-mm-yy hh:nn:ss", Agora(), RegionalAtual()) + " - " + mensagem;
}

void TLogger::Log(const std::string& mensagem) {
  switch (FLogDestination.load()) {
    case ldFile:
      LogToFile(FormatarLinhaLog(mensagem));
      break;
    case ldConsole:
      LogToConsole(FormatarLinhaLog(mensagem));
      break;
    case ldWebhook:
      LogToWebhook(FormatarLinhaLog(mensagem));
      break;
    case ldNone:
      break;
  }
}

std::string TLogger::ArquivoDoDia() const {
  return FLogFilePath + FormatarDataHora("yyyymmdd", Agora(), RegionalAtual()) + "_Servico.log";
}

void TLogger::LogToFile(const std::string& linha) {
  std::lock_guard trava(FEscrita);
  std::FILE* arquivo = std::fopen(ArquivoDoDia().c_str(), "ab");
  if (!arquivo) return;
  std::string texto = linha + "\r\n";
  std::fwrite(texto.data(), 1, texto.size(), arquivo);
  std::fclose(arquivo);
}

void TLogger::LogToConsole(const std::string& linha) {
  std::lock_guard trava(FEscrita);
  std::cout << linha << std::endl;
}

void TLogger::LogToWebhook(const std::string&) {}

void CriarLogger() {
  DestinoLog = ConfigService.Copia().AtivarLog ? ldFile : ldNone;
  LogServico.Retirar();
  LogServico.Definir(std::make_shared<TLogger>(DestinoLog.load(), DirLogs, std::string()));
}

void AtualizarDestinoLog() {
  auto logger = LogServico.Obter();
  if (!logger) return;
  TLogDestination desejado = ConfigService.Copia().AtivarLog ? ldFile : ldNone;
  if (DestinoLog.exchange(desejado) == desejado) return;
  logger->AlterarParametros(desejado);
}

void GravarLog(const std::string& mensagem) {
  if (auto logger = LogServico.Obter()) logger->Log(mensagem);
}

}  // namespace tarvex
