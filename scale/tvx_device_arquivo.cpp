#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "scale/tvx_device_canais.h"

namespace tarvex {
namespace {

// A file takes what is sent and never answers: a read finds nothing at once.
class CanalArquivo : public CanalDescritor {
 public:
  using CanalDescritor::CanalDescritor;
  std::string Receber(std::chrono::milliseconds) override { return {}; }
  bool Responde() const override { return false; }
  int BytesDisponiveis() override { return 0; }

 protected:
  void DescartarFila() override {}
};

class CanalNulo : public CanalDispositivo {
 public:
  void Enviar(std::string_view) override {}
  std::string Receber(std::chrono::milliseconds) override { return {}; }
  bool Responde() const override { return false; }
  int BytesDisponiveis() override { return 0; }
  void Descartar() override {}
};

std::string CaminhoDoArquivo(const std::string& porta) {
  if (porta.size() >= 5 && ::strncasecmp(porta.c_str(), "FILE:", 5) == 0) return porta.substr(5);
  return porta;
}

}  // namespace

std::unique_ptr<CanalDispositivo> AbrirCanalArquivo(const std::string& porta) {
  std::string caminho = CaminhoDoArquivo(porta);
  int fd = ::open(caminho.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) throw ErroDispositivo("Erro ao abrir a porta " + porta + ": " + std::strerror(errno));
  return std::make_unique<CanalArquivo>(fd, porta);
}

std::unique_ptr<CanalDispositivo> AbrirCanalNulo() {
  return std::make_unique<CanalNulo>();
}

}  // namespace tarvex
