#include "tests/comum/simulador.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "tests/comum/apoio.h"

namespace tarvex::teste {

SimuladorBalancaTeste::SimuladorBalancaTeste(const std::vector<std::string>& opcoes) {
  // A simulator that died must fail the test, not kill it with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  int paraFilho[2], doFilho[2];
  if (::pipe2(paraFilho, O_CLOEXEC) != 0 || ::pipe2(doFilho, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe falhou");
  std::vector<std::string> argumentos{Programa("SimuladorBalanca")};
  argumentos.insert(argumentos.end(), opcoes.begin(), opcoes.end());
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork falhou");
  if (pid_ == 0) {
    ::dup2(paraFilho[0], 0);
    ::dup2(doFilho[1], 1);
    sigset_t todos;
    sigemptyset(&todos);
    sigprocmask(SIG_SETMASK, &todos, nullptr);
    std::vector<char*> args;
    for (const auto& a : argumentos) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(paraFilho[0]);
  ::close(doFilho[1]);
  entrada_ = paraFilho[1];
  saida_ = doFilho[0];
  std::string pronta = LerLinha(std::chrono::seconds(10));
  if (pronta.rfind("PORTA ", 0) != 0)
    throw std::runtime_error("SimuladorBalanca não ficou pronto: " + pronta);
  porta_ = pronta.substr(6);
}

SimuladorBalancaTeste::~SimuladorBalancaTeste() {
  FecharEntrada();
  if (!AguardarFim(std::chrono::seconds(2))) {
    ::kill(pid_, SIGKILL);
    int estado = 0;
    ::waitpid(pid_, &estado, 0);
  }
  if (saida_ >= 0) ::close(saida_);
}

std::string SimuladorBalancaTeste::LerLinha(std::chrono::milliseconds limite) {
  auto prazo = std::chrono::steady_clock::now() + limite;
  for (;;) {
    std::size_t fim = lidos_.find('\n');
    if (fim != std::string::npos) {
      std::string linha = lidos_.substr(0, fim);
      lidos_.erase(0, fim + 1);
      return linha;
    }
    auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(
        prazo - std::chrono::steady_clock::now());
    pollfd espera{saida_, POLLIN, 0};
    if (resta.count() <= 0 || ::poll(&espera, 1, static_cast<int>(resta.count())) <= 0)
      throw std::runtime_error("SimuladorBalanca não respondeu a tempo");
    char bloco[512];
    ssize_t n = ::read(saida_, bloco, sizeof bloco);
    if (n <= 0) throw std::runtime_error("SimuladorBalanca fechou a saída");
    lidos_.append(bloco, static_cast<std::size_t>(n));
  }
}

std::string SimuladorBalancaTeste::Comando(const std::string& linha) {
  std::string texto = linha + "\n";
  if (::write(entrada_, texto.data(), texto.size()) != static_cast<ssize_t>(texto.size()))
    throw std::runtime_error("não foi possível enviar o comando ao SimuladorBalanca");
  return LerLinha(std::chrono::seconds(5));
}

long SimuladorBalancaTeste::Contagem(const std::string& rotulo) {
  std::string resposta = Comando("contagem");
  std::size_t pos = resposta.find(rotulo + " ");
  if (pos == std::string::npos) throw std::runtime_error("contagem sem " + rotulo);
  return std::stol(resposta.substr(pos + rotulo.size() + 1));
}

long SimuladorBalancaTeste::Requisicoes() {
  return Contagem("REQUISICOES");
}

long SimuladorBalancaTeste::Conexoes() {
  return Contagem("CONEXOES");
}

long SimuladorBalancaTeste::Sobreposicoes() {
  return Contagem("SOBREPOSICOES");
}

void SimuladorBalancaTeste::FecharEntrada() {
  if (entrada_ >= 0) ::close(entrada_);
  entrada_ = -1;
}

std::optional<int> SimuladorBalancaTeste::AguardarFim(std::chrono::milliseconds limite) {
  if (!codigo_) codigo_ = AguardarFilho(pid_, limite);
  return codigo_;
}

}  // namespace tarvex::teste
