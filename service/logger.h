#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "service/registro.h"

namespace tarvex {

enum TLogDestination { ldNone = 0, ldFile = 1, ldConsole = 2, ldWebhook = 3 };

class TLogger {
 public:
  TLogger(TLogDestination destino, std::string pastaLog, std::string webhookURL);

  void AlterarParametros(TLogDestination destino);
  // Never fails for its caller: a line that cannot be written is lost.
  void Log(const std::string& mensagem);

  // The day's file that a line written now goes to.
  std::string ArquivoDoDia() const;

 private:
  void LogToFile(const std::string& linha);
  void LogToConsole(const std::string& linha);
  void LogToWebhook(const std::string& linha);

  std::atomic<TLogDestination> FLogDestination;
  const std::string FLogFilePath;
  const std::string FWebhookURL;
  // Lines from every thread go through one writer, so none is lost to a collision.
  std::mutex FEscrita;
};

extern Global<TLogger> LogServico;
extern std::atomic<TLogDestination> DestinoLog;

void CriarLogger();
void AtualizarDestinoLog();
void GravarLog(const std::string& mensagem);

// "dd-mm-yy hh:nn:ss - " + mensagem, stamped now.
std::string FormatarLinhaLog(const std::string& mensagem);

}  // namespace tarvex
