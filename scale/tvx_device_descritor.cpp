#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "scale/tvx_device_canais.h"

namespace tarvex {
namespace {

constexpr int kTentativasSemEnvio = 10;
constexpr int kEsperaPorEscritaMs = 100;

int MilissegundosParaPoll(std::chrono::milliseconds limite) {
  if (limite.count() <= 0) return 0;
  return limite.count() > INT_MAX ? INT_MAX : static_cast<int>(limite.count());
}

}  // namespace

CanalDescritor::CanalDescritor(int fd, std::string porta) : fd_(fd), porta_(std::move(porta)) {}

CanalDescritor::~CanalDescritor() {
  ::close(fd_);
}

void CanalDescritor::ErroSistema(const std::string& contexto, int erro) const {
  throw ErroDispositivo(contexto + ": " + std::strerror(erro));
}

void CanalDescritor::VerificarFechamento() const {
  if (!fechado_.empty()) throw ErroDispositivo(fechado_);
}

std::size_t CanalDescritor::Escrever(std::string_view bytes) {
  ssize_t n = ::write(fd_, bytes.data(), bytes.size());
  if (n >= 0) return static_cast<std::size_t>(n);
  if (errno == EAGAIN || errno == EINTR) return 0;
  ErroSistema("Erro ao enviar dados para a porta: " + porta_, errno);
}

void CanalDescritor::Enviar(std::string_view bytes) {
  VerificarFechamento();
  int semEnvio = 0;
  while (!bytes.empty()) {
    std::size_t enviados = Escrever(bytes);
    if (enviados > 0) {
      semEnvio = 0;
      bytes.remove_prefix(enviados);
      continue;
    }
    if (++semEnvio >= kTentativasSemEnvio)
      throw ErroDispositivo("Erro ao enviar dados para a porta: " + porta_);
    pollfd espera{fd_, POLLOUT, 0};
    ::poll(&espera, 1, kEsperaPorEscritaMs);
  }
}

std::string CanalDescritor::Receber(std::chrono::milliseconds limite) {
  VerificarFechamento();
  auto prazo = std::chrono::steady_clock::now() + limite;
  pollfd espera{fd_, POLLIN, 0};
  for (;;) {
    auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(
        prazo - std::chrono::steady_clock::now());
    int r = ::poll(&espera, 1, MilissegundosParaPoll(resta));
    if (r > 0) break;
    if (r == 0) return {};
    if (errno != EINTR) ErroSistema("Falha na leitura da porta " + porta_, errno);
  }
  char bloco[4096];
  ssize_t n = ::read(fd_, bloco, sizeof bloco);
  if (n > 0) return std::string(bloco, static_cast<std::size_t>(n));
  if (n < 0 && (errno == EAGAIN || errno == EINTR) && !(espera.revents & (POLLHUP | POLLERR)))
    return {};
  if (n < 0 && errno != EAGAIN && errno != EINTR) {
    MarcarFechado("Falha na leitura da porta " + porta_ + ": " + std::strerror(errno));
  } else {
    MarcarFechado("Conexão encerrada na porta " + porta_);
  }
  VerificarFechamento();
  return {};
}

int CanalDescritor::BytesDisponiveis() {
  int n = 0;
  if (::ioctl(fd_, FIONREAD, &n) != 0) return 0;
  return n;
}

void CanalDescritor::DescartarFila() {
  ::tcflush(fd_, TCIOFLUSH);
}

void CanalDescritor::Descartar() {
  if (fechado_.empty()) DescartarFila();
}

int AbrirDescritorTravado(const std::string& caminho, const std::string& porta) {
  if (caminho.empty()) throw ErroDispositivo("Porta " + porta + " não encontrada");
  int fd = ::open(caminho.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    int erro = errno;
    if (erro == ENOENT || erro == ENXIO || erro == ENODEV)
      throw ErroDispositivo("Porta " + porta + " não encontrada");
    throw ErroDispositivo("Erro ao abrir a porta " + porta + ": " + std::strerror(erro));
  }
  // Two programs talking to one scale would garble each other's exchanges.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    throw ErroDispositivo("Porta " + porta + " em uso por outro programa");
  }
  return fd;
}

std::unique_ptr<CanalDispositivo> AbrirCanalCaractere(const std::string& caminho,
                                                      const std::string& porta) {
  return std::make_unique<CanalDescritor>(AbrirDescritorTravado(caminho, porta), porta);
}

}  // namespace tarvex
