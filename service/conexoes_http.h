#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvex {

// What one connection may cost the server.
struct LimitesConexao {
  std::chrono::seconds leitura{5};
  std::chrono::seconds escrita{5};
  // An idle connection waits this long for its next request.
  std::chrono::seconds ociosa{3};
  std::size_t pedidosPorConexao = 100;
  // The request line and headers together; a client past it is answered 400 and dropped.
  std::size_t tamanhoMaximoCabecalho = 32 * 1024;
  // A request must arrive whole (headers and body) within this time from its first byte, so a
  // client that trickles bytes cannot hold a worker for ever.
  std::chrono::seconds prazoDoPedido{10};
  // After an answer that ends a connection early, what the client still sends is read and
  // dropped for up to this long and this many bytes before the close: closing on unread bytes
  // resets the connection, and the client could lose the answer it was sent.
  std::chrono::milliseconds descarteAoFechar{1000};
  std::size_t bytesDescartadosAoFechar = 4 * 1024 * 1024;
};

// cpp-httplib's server with each connection served by a loop of our own. The library bounds
// neither the size of the headers (it keeps every header line in memory) nor the time a request
// may take to arrive (each byte restarts its read time-out), and it keeps a connection open
// after an answer that says "Connection: close"; this loop reads through a stream that does
// both and closes the connection after such an answer. Its post-routing handler is taken.
class ServidorHttplib : public httplib::Server {
 public:
  explicit ServidorHttplib(LimitesConexao limites = {});

 private:
  bool process_and_close_socket(socket_t sock) override;
  bool ServidorAtivo() const { return svr_sock_ != INVALID_SOCKET; }

  const LimitesConexao limites_;
};

// One worker per connection: a worker is started when a connection finds none free, up to
// `maximo`; past it connections wait for one. Idle workers sleep on a condition variable and
// cost nothing. `shutdown` serves what is waiting and then joins every worker.
class FilaDeConexoes : public httplib::TaskQueue {
 public:
  explicit FilaDeConexoes(std::size_t maximo) : maximo_(maximo) {}
  ~FilaDeConexoes() override;

  void enqueue(std::function<void()> tarefa) override;
  void shutdown() override;

 private:
  void Trabalhar();

  const std::size_t maximo_;
  std::mutex mutex_;
  std::condition_variable sinal_;
  std::deque<std::function<void()>> tarefas_;
  std::vector<std::thread> trabalhadores_;
  std::size_t livres_ = 0;
  bool encerrar_ = false;
};

}  // namespace tarvex
