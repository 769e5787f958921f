#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "scale/tvx_device_canais.h"

namespace tarvex {
namespace {

// A socket to the scale's converter. MSG_NOSIGNAL keeps a reset peer from raising SIGPIPE.
class CanalTCP : public CanalDescritor {
 public:
  using CanalDescritor::CanalDescritor;

  void Enviar(std::string_view bytes) override {
    VerificarPeerAtivo();
    CanalDescritor::Enviar(bytes);
  }

 protected:
  std::size_t Escrever(std::string_view bytes) override {
    ssize_t n = ::send(Fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EAGAIN || errno == EINTR) return 0;
    int erro = errno;
    MarcarFechado("Erro ao enviar dados para a porta: " + Porta() + ": " + std::strerror(erro));
    VerificarFechamento();
    return 0;
  }

  void DescartarFila() override {
    char bloco[4096];
    for (;;) {
      ssize_t n = ::recv(Fd(), bloco, sizeof bloco, MSG_DONTWAIT);
      if (n > 0) continue;
      if (n == 0) MarcarFechado("Conexão encerrada na porta " + Porta());
      return;
    }
  }

 private:
  // A peer that closed its side has gone away: the send must fail now, not after the time-out
  // of the read that follows it.
  void VerificarPeerAtivo() {
    VerificarFechamento();
    pollfd estado{Fd(), POLLRDHUP, 0};
    if (::poll(&estado, 1, 0) > 0 && (estado.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
      MarcarFechado("Conexão encerrada na porta " + Porta());
      VerificarFechamento();
    }
  }
};

int MilissegundosParaPoll(std::chrono::milliseconds limite) {
  if (limite.count() <= 0) return 0;
  return limite.count() > INT_MAX ? INT_MAX : static_cast<int>(limite.count());
}

// The connection's error code, 0 when it connected within the limit, ETIMEDOUT otherwise.
int Conectar(int fd, const addrinfo& destino, std::chrono::milliseconds limite) {
  if (::connect(fd, destino.ai_addr, destino.ai_addrlen) == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  pollfd espera{fd, POLLOUT, 0};
  int r;
  do {
    r = ::poll(&espera, 1, MilissegundosParaPoll(limite));
  } while (r < 0 && errno == EINTR);
  if (r == 0) return ETIMEDOUT;
  int erro = 0;
  socklen_t tamanho = sizeof erro;
  ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &erro, &tamanho);
  return erro;
}

}  // namespace

std::unique_ptr<CanalDispositivo> AbrirCanalTCP(const std::string& porta,
                                                std::chrono::milliseconds limiteConexao) {
  EnderecoTCP endereco = LerEnderecoTCP(porta);
  addrinfo pedido{};
  pedido.ai_family = AF_UNSPEC;
  pedido.ai_socktype = SOCK_STREAM;
  addrinfo* destinos = nullptr;
  int r = ::getaddrinfo(endereco.host.c_str(), endereco.porta.c_str(), &pedido, &destinos);
  if (r != 0) throw ErroDispositivo("Erro ao abrir a porta " + porta + ": " + ::gai_strerror(r));
  int erro = 0;
  for (addrinfo* d = destinos; d; d = d->ai_next) {
    int fd = ::socket(d->ai_family, d->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, d->ai_protocol);
    if (fd < 0) {
      erro = errno;
      continue;
    }
    erro = Conectar(fd, *d, limiteConexao);
    if (erro == 0) {
      ::freeaddrinfo(destinos);
      int sim = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &sim, sizeof sim);
      return std::make_unique<CanalTCP>(fd, porta);
    }
    ::close(fd);
  }
  ::freeaddrinfo(destinos);
  throw ErroDispositivo("Erro ao abrir a porta " + porta + ": " + std::strerror(erro));
}

}  // namespace tarvex
