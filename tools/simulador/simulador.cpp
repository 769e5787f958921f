#include "tools/simulador/simulador.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "base/conversoes.h"

namespace tarvex::simulacao {
namespace {

volatile sig_atomic_t sinalDeFim = 0;

void AoReceberSinal(int) {
  sinalDeFim = 1;
}

void Responder(const std::string& linha) {
  std::fputs((linha + "\n").c_str(), stdout);
  std::fflush(stdout);
}

[[noreturn]] void FalhaDoSistema(const std::string& oQue) {
  throw std::runtime_error(oQue + ": " + std::strerror(errno));
}

// "\r", "\n", "\\" and "\xNN" stand for their bytes, so a command line can carry any frame.
std::string DecodificarBytes(const std::string& texto) {
  std::string bytes;
  for (std::size_t i = 0; i < texto.size(); ++i) {
    if (texto[i] != '\\' || i + 1 == texto.size()) {
      bytes += texto[i];
      continue;
    }
    char c = texto[++i];
    if (c == 'r') {
      bytes += '\r';
    } else if (c == 'n') {
      bytes += '\n';
    } else if (c == 'x' && i + 2 < texto.size()) {
      bytes += static_cast<char>(std::strtol(texto.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      bytes += c;
    }
  }
  return bytes;
}

std::optional<int> LerMilissegundos(const std::string& texto) {
  auto valor = LerInteiro(Aparar(texto));
  if (!valor || *valor < 0) return std::nullopt;
  return *valor;
}

}  // namespace

Simulador::Simulador(const PerfilSimulado& perfil, const OpcoesSimulador& opcoes)
    : perfil_(perfil), quadro_(perfil.quadro), opcoes_(opcoes) {
  if (opcoes_.continuoMs == 0 && perfil_.requisicao.empty()) opcoes_.continuoMs = 200;
  if (opcoes_.pseudoTerminal)
    AbrirPseudoTerminal();
  else
    AbrirTcp();
}

Simulador::~Simulador() {
  for (const auto& [fd, _] : conexoes_) ::close(fd);
  if (escravo_ >= 0) ::close(escravo_);
  if (ouvinte_ >= 0) ::close(ouvinte_);
}

void Simulador::AbrirPseudoTerminal() {
  mestre_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (mestre_ < 0 || ::grantpt(mestre_) != 0 || ::unlockpt(mestre_) != 0)
    FalhaDoSistema("pseudo-terminal");
  char nome[128];
  if (::ptsname_r(mestre_, nome, sizeof nome) != 0) FalhaDoSistema("ptsname");
  caminhoEscravo_ = nome;
  // Holding the slave open keeps the master from reporting a hang-up while no client is there,
  // and a raw line keeps the frames byte for byte (no echo, no CR translation).
  escravo_ = ::open(nome, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (escravo_ < 0) FalhaDoSistema(nome);
  termios modo{};
  ::tcgetattr(escravo_, &modo);
  ::cfmakeraw(&modo);
  ::tcsetattr(escravo_, TCSANOW, &modo);
  conexoes_[mestre_];
}

void Simulador::AbrirTcp() {
  ouvinte_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (ouvinte_ < 0) FalhaDoSistema("socket");
  int sim = 1;
  ::setsockopt(ouvinte_, SOL_SOCKET, SO_REUSEADDR, &sim, sizeof sim);
  sockaddr_in endereco{};
  endereco.sin_family = AF_INET;
  endereco.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  endereco.sin_port = htons(static_cast<std::uint16_t>(opcoes_.portaTcp));
  if (::bind(ouvinte_, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco) != 0 ||
      ::listen(ouvinte_, 8) != 0)
    FalhaDoSistema("porta TCP " + std::to_string(opcoes_.portaTcp));
  socklen_t tamanho = sizeof endereco;
  ::getsockname(ouvinte_, reinterpret_cast<sockaddr*>(&endereco), &tamanho);
  portaOuvida_ = ntohs(endereco.sin_port);
}

std::string Simulador::TextoDaPorta() const {
  if (opcoes_.pseudoTerminal) return caminhoEscravo_;
  return "TCP:127.0.0.1:" + std::to_string(portaOuvida_);
}

void Simulador::Aceitar() {
  int fd = ::accept4(ouvinte_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd >= 0) conexoes_[fd];
}

void Simulador::LerConexao(int fd) {
  char bloco[4096];
  ssize_t n = ::read(fd, bloco, sizeof bloco);
  if (n > 0) {
    ReceberRequisicoes(fd, std::string(bloco, static_cast<std::size_t>(n)));
  } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
    FecharConexao(fd, false);
  }
}

void Simulador::ReceberRequisicoes(int fd, const std::string& bytes) {
  const std::string& pedido = perfil_.requisicao;
  if (pedido.empty()) return;
  std::string& buffer = conexoes_[fd];
  buffer += bytes;
  for (std::size_t achado; (achado = buffer.find(pedido)) != std::string::npos;) {
    buffer.erase(0, achado + pedido.size());
    ++requisicoes_;
    if (!pendentes_.empty()) {
      ++sobreposicoes_;
      std::fputs("SOBREPOSICAO: pedido recebido antes da resposta ao anterior\n", stderr);
      if (opcoes_.sobreposicaoFatal) {
        encerrar_ = true;
        codigoSaida_ = kSaidaSobreposicao;
      }
    }
    if (!silencio_)
      pendentes_.push_back({Relogio::now() + std::chrono::milliseconds(opcoes_.atrasoMs), fd});
  }
  // Only the bytes that may begin the next request are kept.
  if (buffer.size() >= pedido.size()) buffer.erase(0, buffer.size() - (pedido.size() - 1));
}

void Simulador::FecharConexao(int fd, bool derrubar) {
  std::erase_if(pendentes_, [fd](const Resposta& r) { return r.conexao == fd; });
  std::erase_if(pedacos_, [fd](const Pedaco& p) { return p.conexao == fd; });
  conexoes_.erase(fd);
  if (fd == mestre_) {
    // The line hangs up for the client; a fresh pseudo-terminal takes its place.
    ::close(mestre_);
    ::close(escravo_);
    mestre_ = escravo_ = -1;
    AbrirPseudoTerminal();
    return;
  }
  if (derrubar) {
    linger semEspera{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &semEspera, sizeof semEspera);
  }
  ::close(fd);
}

void Simulador::FecharTodas(bool derrubar) {
  std::vector<int> abertas;
  for (const auto& [fd, _] : conexoes_) abertas.push_back(fd);
  for (int fd : abertas) FecharConexao(fd, derrubar);
}

void Simulador::EnviarPara(int fd, const std::string& bytes) {
  const bool socket = fd != mestre_;
  ssize_t n = socket ? ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                     : ::write(fd, bytes.data(), bytes.size());
  // A line that nobody reads fills up: its frames are dropped like a real scale's.
  if (n < 0 && socket && errno != EAGAIN && errno != EINTR) FecharConexao(fd, false);
}

void Simulador::EnviarParaTodas(const std::string& bytes) {
  std::vector<int> abertas;
  for (const auto& [fd, _] : conexoes_) abertas.push_back(fd);
  for (int fd : abertas) EnviarPara(fd, bytes);
}

void Simulador::Despachar(int fd, const std::string& quadro) {
  if (perfil_.pedaco <= 0) {
    EnviarPara(fd, quadro);
    return;
  }
  const auto intervalo = std::chrono::milliseconds(kIntervaloPedacosMs);
  auto quando = Relogio::now();
  if (!pedacos_.empty()) quando = std::max(quando, pedacos_.back().quando + intervalo);
  const auto tamanho = static_cast<std::size_t>(perfil_.pedaco);
  for (std::size_t i = 0; i < quadro.size(); i += tamanho, quando += intervalo)
    pedacos_.push_back({quando, fd, quadro.substr(i, tamanho)});
  EnviarPedacosVencidos();
}

void Simulador::DespacharParaTodas(const std::string& quadro) {
  std::vector<int> abertas;
  for (const auto& [fd, _] : conexoes_) abertas.push_back(fd);
  for (int fd : abertas) Despachar(fd, quadro);
}

void Simulador::EnviarPedacosVencidos() {
  const auto agora = Relogio::now();
  while (!pedacos_.empty() && pedacos_.front().quando <= agora) {
    Pedaco pedaco = std::move(pedacos_.front());
    pedacos_.pop_front();
    if (conexoes_.count(pedaco.conexao)) EnviarPara(pedaco.conexao, pedaco.bytes);
  }
}

std::string Simulador::QuadroAtual() const {
  if (lixo_) return QuadroLixo();
  return quadro_(situacao_, opcoes_.peso).value_or(std::string());
}

void Simulador::ResponderVencidas() {
  auto agora = Relogio::now();
  while (!pendentes_.empty() && pendentes_.front().quando <= agora) {
    int fd = pendentes_.front().conexao;
    pendentes_.pop_front();
    std::string quadro = QuadroAtual();
    if (!silencio_ && !quadro.empty() && conexoes_.count(fd)) Despachar(fd, quadro);
  }
  EnviarPedacosVencidos();
  if (opcoes_.continuoMs > 0 && agora >= proximoContinuo_) {
    std::string quadro = QuadroAtual();
    if (!silencio_ && !quadro.empty()) DespacharParaTodas(quadro);
    proximoContinuo_ = agora + std::chrono::milliseconds(opcoes_.continuoMs);
  }
}

int Simulador::EsperaMs() const {
  std::optional<Relogio::time_point> proximo;
  if (!pendentes_.empty()) proximo = pendentes_.front().quando;
  if (!pedacos_.empty() && (!proximo || pedacos_.front().quando < *proximo))
    proximo = pedacos_.front().quando;
  if (opcoes_.continuoMs > 0 && (!proximo || proximoContinuo_ < *proximo))
    proximo = proximoContinuo_;
  if (!proximo) return -1;
  auto falta =
      std::chrono::duration_cast<std::chrono::milliseconds>(*proximo - Relogio::now()).count();
  return falta < 0 ? 0 : static_cast<int>(falta + 1);
}

std::string Simulador::Executar(const std::string& linha) {
  std::string texto = Aparar(linha);
  std::size_t espaco = texto.find(' ');
  std::string comando = texto.substr(0, espaco);
  std::string argumento = espaco == std::string::npos ? "" : Aparar(texto.substr(espaco + 1));
  auto situacao = [&](SituacaoBalanca s) {
    situacao_ = s;
    silencio_ = lixo_ = false;
    return "OK " + comando;
  };
  if (comando == "peso") {
    std::string numero = argumento;
    for (char& c : numero)
      if (c == ',') c = '.';
    auto peso = LerReal(numero, '.');
    if (!peso || *peso < 0) return "ERRO peso inválido: " + argumento;
    opcoes_.peso = *peso;
    return "OK peso";
  }
  if (comando == "estavel") return situacao(SituacaoBalanca::Estavel);
  if (comando == "instavel") return situacao(SituacaoBalanca::Instavel);
  if (comando == "negativo") return situacao(SituacaoBalanca::Negativo);
  if (comando == "sobrecarga") return situacao(SituacaoBalanca::Sobrecarga);
  if (comando == "silencio") {
    silencio_ = true;
    pendentes_.clear();
    pedacos_.clear();
    return "OK silencio";
  }
  if (comando == "lixo") {
    lixo_ = true;
    silencio_ = false;
    return "OK lixo";
  }
  if (comando == "enviar") {
    DespacharParaTodas(QuadroAtual());
    return "OK enviar";
  }
  if (comando == "protocolo") {
    const VarianteQuadro* variante = VarianteDe(perfil_, argumento);
    if (!variante) return "ERRO protocolo desconhecido: " + argumento;
    quadro_ = variante->quadro;
    return "OK protocolo";
  }
  if (comando == "bruto") {
    EnviarParaTodas(DecodificarBytes(argumento));
    return "OK bruto";
  }
  if (comando == "continuo" || comando == "atraso") {
    auto ms = LerMilissegundos(argumento);
    if (!ms) return "ERRO milissegundos inválidos: " + argumento;
    (comando == "continuo" ? opcoes_.continuoMs : opcoes_.atrasoMs) = *ms;
    proximoContinuo_ = Relogio::now() + std::chrono::milliseconds(opcoes_.continuoMs);
    return "OK " + comando;
  }
  if (comando == "fechar" || comando == "derrubar") {
    FecharTodas(comando == "derrubar");
    return "OK " + comando + " PORTA " + TextoDaPorta();
  }
  if (comando == "contagem")
    return "OK contagem REQUISICOES " + std::to_string(requisicoes_) + " SOBREPOSICOES " +
           std::to_string(sobreposicoes_) + " CONEXOES " + std::to_string(conexoes_.size());
  if (comando == "sair") {
    encerrar_ = true;
    return "OK sair";
  }
  return "ERRO comando desconhecido: " + comando;
}

bool Simulador::LerEntrada() {
  char bloco[1024];
  ssize_t n = ::read(0, bloco, sizeof bloco);
  if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return false;
  if (n > 0) entrada_.append(bloco, static_cast<std::size_t>(n));
  for (std::size_t fim; !encerrar_ && (fim = entrada_.find('\n')) != std::string::npos;) {
    std::string linha = entrada_.substr(0, fim);
    entrada_.erase(0, fim + 1);
    if (!Aparar(linha).empty()) Responder(Executar(linha));
  }
  return true;
}

int Simulador::Executar() {
  ::signal(SIGPIPE, SIG_IGN);
  struct sigaction acao {};
  acao.sa_handler = AoReceberSinal;
  ::sigaction(SIGTERM, &acao, nullptr);
  ::sigaction(SIGINT, &acao, nullptr);
  // The signals are let in only while waiting, so none is lost between a check and the wait.
  sigset_t fim, livre;
  sigemptyset(&fim);
  sigaddset(&fim, SIGTERM);
  sigaddset(&fim, SIGINT);
  ::sigprocmask(SIG_BLOCK, &fim, &livre);
  sigdelset(&livre, SIGTERM);
  sigdelset(&livre, SIGINT);

  Responder("PORTA " + TextoDaPorta());
  proximoContinuo_ = Relogio::now() + std::chrono::milliseconds(opcoes_.continuoMs);
  bool entradaAberta = true;
  while (!encerrar_ && !sinalDeFim) {
    std::vector<pollfd> espera;
    if (entradaAberta) espera.push_back({0, POLLIN, 0});
    if (ouvinte_ >= 0) espera.push_back({ouvinte_, POLLIN, 0});
    for (const auto& [fd, _] : conexoes_) espera.push_back({fd, POLLIN, 0});
    int ms = EsperaMs();
    timespec limite{ms / 1000, (ms % 1000) * 1000000L};
    int r = ::ppoll(espera.data(), espera.size(), ms < 0 ? nullptr : &limite, &livre);
    if (r < 0 && errno != EINTR) FalhaDoSistema("poll");
    for (const auto& p : espera) {
      if (r <= 0 || p.revents == 0) continue;
      if (p.fd == 0) {
        entradaAberta = LerEntrada();
        // Standard input ending is the end of the simulator.
        if (!entradaAberta) encerrar_ = true;
      } else if (p.fd == ouvinte_) {
        Aceitar();
      } else if (conexoes_.count(p.fd)) {
        LerConexao(p.fd);
      }
    }
    ResponderVencidas();
  }
  return codigoSaida_;
}

}  // namespace tarvex::simulacao
