#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarvex::teste {

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class PastaTemporaria {
 public:
  PastaTemporaria();
  ~PastaTemporaria();
  PastaTemporaria(const PastaTemporaria&) = delete;
  PastaTemporaria& operator=(const PastaTemporaria&) = delete;

  const std::filesystem::path& Caminho() const { return caminho_; }
  std::filesystem::path operator/(const std::string& nome) const { return caminho_ / nome; }

 private:
  std::filesystem::path caminho_;
};

std::string LerArquivo(const std::filesystem::path& caminho);
void GravarArquivo(const std::filesystem::path& caminho, const std::string& texto);
std::vector<std::string> Linhas(const std::string& texto);
// The last `quantidade` items (all of them when there are fewer).
std::vector<std::string> Ultimas(const std::vector<std::string>& linhas, std::size_t quantidade);
// What the service log ends with after a stop: the stop line, then the threads' shutdown.
std::vector<std::string> LinhasDaParada();

// Polls `condicao` every 10 ms until it holds or `limite` passes.
bool EsperarAte(const std::function<bool()>& condicao,
                std::chrono::milliseconds limite = std::chrono::seconds(10));

// The exit code of child `pid` (128 + the signal when a signal ended it), or nothing when it has
// not ended within `limite`. Reaps the child.
std::optional<int> AguardarFilho(pid_t pid, std::chrono::milliseconds limite);

// The path of one of the project's programs.
std::string Programa(const std::string& nome);

// A child process with its standard output and error going to a file. Killed at the end of
// the test when still running.
class Processo {
 public:
  Processo(const std::vector<std::string>& argumentos,
           const std::vector<std::string>& ambienteExtra = {});
  ~Processo();
  Processo(const Processo&) = delete;
  Processo& operator=(const Processo&) = delete;

  pid_t Pid() const { return pid_; }
  void Sinalizar(int sinal) const;
  // The exit code, or nothing when the process has not ended within `limite`.
  std::optional<int> AguardarFim(std::chrono::milliseconds limite);
  std::string Saida() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> codigo_;
  std::filesystem::path saida_;
};

}  // namespace tarvex::teste
