#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "service/server_initializer.h"

namespace tarvex::teste {

// A port that nothing listens on right now: the kernel picks it, and it is let go at once.
inline int PortaLivre() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in endereco{};
  endereco.sin_family = AF_INET;
  endereco.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t tamanho = sizeof(endereco);
  if (::bind(s, reinterpret_cast<sockaddr*>(&endereco), sizeof(endereco)) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&endereco), &tamanho) != 0) {
    ::close(s);
    throw std::runtime_error("sem porta livre");
  }
  ::close(s);
  return ntohs(endereco.sin_port);
}

// A socket that holds a port the way another program would: bound and listening.
class PortaOcupada {
 public:
  explicit PortaOcupada(int porta) : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in endereco{};
    endereco.sin_family = AF_INET;
    endereco.sin_port = htons(static_cast<uint16_t>(porta));
    endereco.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&endereco), sizeof(endereco)) != 0 ||
        ::listen(socket_, 4) != 0) {
      throw std::runtime_error("não consegui ocupar a porta");
    }
  }
  ~PortaOcupada() { ::close(socket_); }
  PortaOcupada(const PortaOcupada&) = delete;
  PortaOcupada& operator=(const PortaOcupada&) = delete;

 private:
  int socket_;
};

inline int Conectar(int porta) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in endereco{};
  endereco.sin_family = AF_INET;
  endereco.sin_port = htons(static_cast<uint16_t>(porta));
  endereco.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&endereco), sizeof(endereco)) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

inline bool AceitaConexao(int porta) {
  int s = Conectar(porta);
  if (s < 0) return false;
  ::close(s);
  return true;
}

// Sends `pedido` as raw bytes and returns what comes back until the server closes the
// connection or `espera` passes without a byte.
inline std::string TrocarBruto(int porta, const std::string& pedido,
                               std::chrono::milliseconds espera = std::chrono::seconds(3)) {
  int s = Conectar(porta);
  if (s < 0) return {};
  timeval limite{static_cast<time_t>(espera.count() / 1000),
                 static_cast<suseconds_t>((espera.count() % 1000) * 1000)};
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limite, sizeof(limite));
  ::send(s, pedido.data(), pedido.size(), MSG_NOSIGNAL);
  std::string resposta;
  char bloco[4096];
  for (ssize_t lidos; (lidos = ::recv(s, bloco, sizeof(bloco), 0)) > 0;) {
    resposta.append(bloco, static_cast<std::size_t>(lidos));
  }
  ::close(s);
  return resposta;
}

// A ServidorHttp listening on a free port of its own for one test.
class ServidorDeTeste {
 public:
  ServidorDeTeste() = default;
  ~ServidorDeTeste() { servidor.Parar(); }

  void Escutar() {
    porta = PortaLivre();
    servidor.Escutar(porta);
  }

  ServidorHttp servidor;
  int porta = 0;
};

}  // namespace tarvex::teste
