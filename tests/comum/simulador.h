#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::teste {

// A running SimuladorBalanca: started with its standard input and output on pipes, ready once
// it has printed its port. Commands go through Comando, which waits for the simulator's answer,
// so a change of weight or state is in force when Comando returns. Ended at the end of the test.
class SimuladorBalancaTeste {
 public:
  // `opcoes` are the simulator's options, e.g. {"--pty"} or {"--tcp", "0", "--modelo", "16"}.
  explicit SimuladorBalancaTeste(const std::vector<std::string>& opcoes);
  ~SimuladorBalancaTeste();
  SimuladorBalancaTeste(const SimuladorBalancaTeste&) = delete;
  SimuladorBalancaTeste& operator=(const SimuladorBalancaTeste&) = delete;

  // The port text to give the scale component ("TCP:127.0.0.1:N" or "/dev/pts/N").
  const std::string& Porta() const { return porta_; }
  // Sends one command line and returns the answer line ("OK ..." or "ERRO ...").
  std::string Comando(const std::string& linha);
  // The requests and overlaps counted so far, and the connections open now.
  long Requisicoes();
  long Sobreposicoes();
  long Conexoes();

  pid_t Pid() const { return pid_; }
  void FecharEntrada();
  std::optional<int> AguardarFim(std::chrono::milliseconds limite);

 private:
  std::string LerLinha(std::chrono::milliseconds limite);
  long Contagem(const std::string& rotulo);

  pid_t pid_ = -1;
  int entrada_ = -1;
  int saida_ = -1;
  std::string lidos_;
  std::string porta_;
  std::optional<int> codigo_;
};

}  // namespace tarvex::teste
