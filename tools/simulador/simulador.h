#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <string>

#include "tools/simulador/quadros.h"

namespace tarvex::simulacao {

struct OpcoesSimulador {
  TTvxBALModelo modelo = TTvxBALModelo::balGenerica;
  bool pseudoTerminal = false;
  int portaTcp = -1;
  double peso = 0;
  int atrasoMs = 0;
  // Period of the frames sent without a request; 0 = only answers.
  int continuoMs = 0;
  // Ends the simulator with kSaidaSobreposicao at the first request that arrives while another
  // one is still waiting for its answer.
  bool sobreposicaoFatal = false;
};

inline constexpr int kSaidaSobreposicao = 3;

// One simulated scale on a pseudo-terminal or a TCP port on loopback. A single thread waits on
// poll() for requests, commands on standard input and the next timed frame: it never spins.
class Simulador {
 public:
  Simulador(const PerfilSimulado& perfil, const OpcoesSimulador& opcoes);
  ~Simulador();
  Simulador(const Simulador&) = delete;
  Simulador& operator=(const Simulador&) = delete;

  // Prints the ready line and serves until standard input ends, "sair", SIGTERM or SIGINT.
  int Executar();

 private:
  using Relogio = std::chrono::steady_clock;
  struct Resposta {
    Relogio::time_point quando;
    int conexao;
  };
  struct Pedaco {
    Relogio::time_point quando;
    int conexao;
    std::string bytes;
  };

  void AbrirPseudoTerminal();
  void AbrirTcp();
  std::string TextoDaPorta() const;
  void Aceitar();
  void LerConexao(int fd);
  void ReceberRequisicoes(int fd, const std::string& bytes);
  void FecharConexao(int fd, bool derrubar);
  void FecharTodas(bool derrubar);
  bool LerEntrada();
  std::string Executar(const std::string& linha);
  void EnviarPara(int fd, const std::string& bytes);
  void EnviarParaTodas(const std::string& bytes);
  // Sends a frame at once or, for a model that answers in pieces, schedules its pieces.
  void Despachar(int fd, const std::string& quadro);
  void DespacharParaTodas(const std::string& quadro);
  void EnviarPedacosVencidos();
  std::string QuadroAtual() const;
  void ResponderVencidas();
  int EsperaMs() const;

  const PerfilSimulado& perfil_;
  QuadroSimulado quadro_;
  OpcoesSimulador opcoes_;
  SituacaoBalanca situacao_ = SituacaoBalanca::Estavel;
  bool silencio_ = false;
  bool lixo_ = false;
  int mestre_ = -1;
  int escravo_ = -1;
  std::string caminhoEscravo_;
  int ouvinte_ = -1;
  int portaOuvida_ = 0;
  // Open connections and the bytes of a request that may still be arriving.
  std::map<int, std::string> conexoes_;
  std::deque<Resposta> pendentes_;
  // In the order they go out: each answer's pieces follow the pieces already waiting.
  std::deque<Pedaco> pedacos_;
  Relogio::time_point proximoContinuo_;
  std::string entrada_;
  bool encerrar_ = false;
  int codigoSaida_ = 0;
  long requisicoes_ = 0;
  long sobreposicoes_ = 0;
};

}  // namespace tarvex::simulacao
