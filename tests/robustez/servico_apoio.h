#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/comum/apoio.h"
#include "tests/service/servidor_apoio.h"

namespace tarvex::teste {

// ServiceTarvex as a user runs it, in a folder of its own and on a free port, ready once it
// answers "/test". `config` follows the "[Service]" lines that set the port and the log, so it
// may add keys of that section before its own sections. At the end it must stop on SIGTERM with
// exit code 0: whatever a test did to it, the service is still in one piece.
class ServicoEmTeste {
 public:
  explicit ServicoEmTeste(const std::string& config = {}) : porta_(PortaLivre()) {
    GravarArquivo(pasta_ / "config.ini",
                  "[Service]\nPorta=" + std::to_string(porta_) + "\nAtivarLog=S\n" + config);
    processo_ = std::make_unique<Processo>(
        std::vector<std::string>{Programa("ServiceTarvex"), "--dir", pasta_.Caminho().string()});
    pronto_ =
        EsperarAte([&] { return Cliente().Get("/test") != nullptr; }, std::chrono::seconds(20));
  }

  ~ServicoEmTeste() {
    processo_->Sinalizar(SIGTERM);
    EXPECT_EQ(processo_->AguardarFim(std::chrono::seconds(15)), 0) << processo_->Saida();
  }

  ServicoEmTeste(const ServicoEmTeste&) = delete;
  ServicoEmTeste& operator=(const ServicoEmTeste&) = delete;

  bool Pronto() const { return pronto_; }
  int Porta() const { return porta_; }
  const PastaTemporaria& Pasta() const { return pasta_; }
  std::filesystem::path Config() const { return pasta_ / "config.ini"; }
  Processo& Proc() { return *processo_; }

  httplib::Client Cliente() const {
    httplib::Client cliente("127.0.0.1", porta_);
    cliente.set_connection_timeout(std::chrono::seconds(2));
    cliente.set_read_timeout(std::chrono::seconds(15));
    return cliente;
  }

  // Still running.
  bool Vivo() { return !processo_->AguardarFim(std::chrono::milliseconds(0)).has_value(); }

  // The process's resident memory in KiB.
  long MemoriaKb() const {
    std::ifstream status("/proc/" + std::to_string(processo_->Pid()) + "/status");
    for (std::string linha; std::getline(status, linha);)
      if (linha.rfind("VmRSS:", 0) == 0) return std::stol(linha.substr(6));
    return -1;
  }

  // The day's service log.
  std::string Log() const {
    std::error_code erro;
    for (const auto& e : std::filesystem::directory_iterator(pasta_ / "Logs", erro))
      if (e.path().filename().string().ends_with("_Servico.log")) return LerArquivo(e.path());
    return {};
  }

  bool LogTem(const std::string& parte) const { return Log().find(parte) != std::string::npos; }

 private:
  PastaTemporaria pasta_;
  int porta_;
  std::unique_ptr<Processo> processo_;
  bool pronto_ = false;
};

}  // namespace tarvex::teste
