#include "service/conexoes_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace tarvex {
namespace {

using Relogio = std::chrono::steady_clock;

// How long a wait for the server's stop may last: the keep-alive wait looks at it this often.
constexpr std::chrono::milliseconds kFatiaDeEspera{100};

// Set while a request is answered, on the thread that serves its connection, when the answer
// closes the connection.
thread_local bool fecharAposResposta = false;

// Waits for `eventos` on the socket up to `limite`; true when they came.
bool Aguardar(socket_t sock, short eventos, std::chrono::milliseconds limite) {
  pollfd p{sock, eventos, 0};
  for (;;) {
    int n = ::poll(&p, 1, static_cast<int>(std::max<long long>(limite.count(), 0)));
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

void EnderecoDe(socket_t sock, bool remoto, std::string& ip, int& porta) {
  sockaddr_storage endereco{};
  socklen_t tamanho = sizeof(endereco);
  auto* bruto = reinterpret_cast<sockaddr*>(&endereco);
  if ((remoto ? ::getpeername(sock, bruto, &tamanho) : ::getsockname(sock, bruto, &tamanho)) != 0)
    return;
  char texto[INET6_ADDRSTRLEN] = {};
  if (endereco.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&endereco);
    ::inet_ntop(AF_INET, &v4->sin_addr, texto, sizeof(texto));
    porta = ntohs(v4->sin_port);
  } else if (endereco.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&endereco);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, texto, sizeof(texto));
    porta = ntohs(v6->sin6_port);
  }
  ip = texto;
}

// The socket of one connection as the library reads and writes it, with the limits of
// LimitesConexao on each request. Once a limit is passed the stream fails for good, so what the
// client still sends is never taken for another request.
class FluxoLimitado : public httplib::Stream {
 public:
  FluxoLimitado(socket_t sock, const LimitesConexao& limites) : sock_(sock), limites_(limites) {}

  // Waits for the first byte of the next request while the server runs, up to the idle limit.
  bool AguardarPedido(const std::function<bool()>& servidorAtivo) {
    if (esgotado_) return false;
    if (inicio_ < fim_) return true;
    const auto prazo = Relogio::now() + limites_.ociosa;
    while (servidorAtivo()) {
      auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(prazo - Relogio::now());
      if (resta.count() <= 0) return false;
      if (Aguardar(sock_, POLLIN, std::min(resta, kFatiaDeEspera))) return true;
    }
    return false;
  }

  void NovoPedido() {
    prazo_ = Relogio::now() + limites_.prazoDoPedido;
    bytesDoCabecalho_ = 0;
    cabecalhoCompleto_ = false;
    linhas_ = 0;
    linhaVazia_ = true;
  }

  bool Esgotado() const { return esgotado_; }

  bool is_readable() const override {
    return inicio_ < fim_ || Aguardar(sock_, POLLIN, limites_.leitura);
  }

  bool is_writable() const override {
    pollfd p{sock_, POLLOUT, 0};
    return ::poll(&p, 1, static_cast<int>(Milissegundos(limites_.escrita))) > 0 &&
           (p.revents & (POLLERR | POLLHUP)) == 0;
  }

  ssize_t read(char* destino, size_t tamanho) override {
    if (esgotado_) return -1;
    if (inicio_ == fim_) {
      ssize_t recebidos = Receber();
      if (recebidos <= 0) return recebidos;
    }
    std::size_t entregues = std::min(tamanho, fim_ - inicio_);
    if (!cabecalhoCompleto_) entregues = ContarCabecalho(entregues);
    if (entregues == 0) return -1;
    std::memcpy(destino, buffer_.data() + inicio_, entregues);
    inicio_ += entregues;
    return static_cast<ssize_t>(entregues);
  }

  ssize_t write(const char* origem, size_t tamanho) override {
    if (!Aguardar(sock_, POLLOUT, limites_.escrita)) return -1;
    for (;;) {
      ssize_t n = ::send(sock_, origem, tamanho, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      return n;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& porta) const override {
    EnderecoDe(sock_, true, ip, porta);
  }
  void get_local_ip_and_port(std::string& ip, int& porta) const override {
    EnderecoDe(sock_, false, ip, porta);
  }
  socket_t socket() const override { return sock_; }

 private:
  static long long Milissegundos(std::chrono::seconds s) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(s).count();
  }

  // Fills the buffer with what arrives within the read time-out and the request's deadline.
  ssize_t Receber() {
    auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(prazo_ - Relogio::now());
    if (resta.count() <= 0 ||
        !Aguardar(sock_, POLLIN, std::min<std::chrono::milliseconds>(resta, limites_.leitura))) {
      if (Relogio::now() >= prazo_) esgotado_ = true;
      return -1;
    }
    ssize_t n;
    do {
      n = ::recv(sock_, buffer_.data(), buffer_.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return n;
    inicio_ = 0;
    fim_ = static_cast<std::size_t>(n);
    return n;
  }

  // How many of the next `tamanho` bytes may go out while the headers are still arriving: the
  // blank line after them ends the count, the size limit ends the connection.
  std::size_t ContarCabecalho(std::size_t tamanho) {
    std::size_t i = 0;
    for (; i < tamanho && !cabecalhoCompleto_; ++i) {
      if (++bytesDoCabecalho_ > limites_.tamanhoMaximoCabecalho) {
        esgotado_ = true;
        return i;
      }
      const char c = buffer_[inicio_ + i];
      if (c == '\n') {
        cabecalhoCompleto_ = linhaVazia_ && linhas_ > 0;
        ++linhas_;
        linhaVazia_ = true;
      } else if (c != '\r') {
        linhaVazia_ = false;
      }
    }
    return i;
  }

  const socket_t sock_;
  const LimitesConexao& limites_;
  std::array<char, 4096> buffer_{};
  std::size_t inicio_ = 0;
  std::size_t fim_ = 0;
  Relogio::time_point prazo_ = Relogio::now();
  std::size_t bytesDoCabecalho_ = 0;
  bool cabecalhoCompleto_ = false;
  std::size_t linhas_ = 0;
  bool linhaVazia_ = true;
  bool esgotado_ = false;
};

// Ends the sending side, so the client reads the answer to its end, and drops what the client
// still sends within the limits.
void DescartarAteFechar(socket_t sock, const LimitesConexao& limites) {
  ::shutdown(sock, SHUT_WR);
  const auto prazo = Relogio::now() + limites.descarteAoFechar;
  std::array<char, 16384> descarte;
  for (std::size_t descartados = 0; descartados < limites.bytesDescartadosAoFechar;) {
    auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(prazo - Relogio::now());
    if (resta.count() <= 0 || !Aguardar(sock, POLLIN, resta)) return;
    ssize_t n = ::recv(sock, descarte.data(), descarte.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    descartados += static_cast<std::size_t>(n);
  }
}

}  // namespace

ServidorHttplib::ServidorHttplib(LimitesConexao limites) : limites_(limites) {
  // Only for the Keep-Alive header the library writes; the loop below applies them.
  set_keep_alive_max_count(limites_.pedidosPorConexao);
  set_keep_alive_timeout(limites_.ociosa.count());
  set_post_routing_handler([](const httplib::Request&, httplib::Response& resposta) {
    fecharAposResposta = resposta.get_header_value("Connection") == "close";
  });
}

bool ServidorHttplib::process_and_close_socket(socket_t sock) {
  FluxoLimitado fluxo(sock, limites_);
  bool atendido = false;
  for (std::size_t restantes = limites_.pedidosPorConexao; restantes > 0; --restantes) {
    if (!fluxo.AguardarPedido([this] { return ServidorAtivo(); })) break;
    fluxo.NovoPedido();
    bool fechada = false;
    fecharAposResposta = false;
    atendido = process_request(fluxo, restantes == 1, fechada, nullptr);
    if (!atendido || fechada || fecharAposResposta || fluxo.Esgotado()) break;
  }
  if (fecharAposResposta || fluxo.Esgotado()) DescartarAteFechar(sock, limites_);
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return atendido;
}

FilaDeConexoes::~FilaDeConexoes() {
  shutdown();
}

void FilaDeConexoes::enqueue(std::function<void()> tarefa) {
  std::lock_guard trava(mutex_);
  tarefas_.push_back(std::move(tarefa));
  if (tarefas_.size() > livres_ && trabalhadores_.size() < maximo_)
    trabalhadores_.emplace_back([this] { Trabalhar(); });
  else
    sinal_.notify_one();
}

void FilaDeConexoes::shutdown() {
  std::vector<std::thread> trabalhadores;
  {
    std::lock_guard trava(mutex_);
    encerrar_ = true;
    trabalhadores.swap(trabalhadores_);
  }
  sinal_.notify_all();
  for (auto& t : trabalhadores) t.join();
}

void FilaDeConexoes::Trabalhar() {
  std::unique_lock trava(mutex_);
  for (;;) {
    ++livres_;
    sinal_.wait(trava, [this] { return encerrar_ || !tarefas_.empty(); });
    --livres_;
    if (tarefas_.empty()) return;
    auto tarefa = std::move(tarefas_.front());
    tarefas_.pop_front();
    trava.unlock();
    tarefa();
    trava.lock();
  }
}

}  // namespace tarvex
