#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "scale/tvx_device.h"

// The back-ends of TTvxDevice. Only tvx_device.cpp opens them.
namespace tarvex {

// A back-end on one file descriptor (serial line, character device, socket). Reads wait on
// poll(); a closed peer or a vanished device is an error, never a hang.
class CanalDescritor : public CanalDispositivo {
 public:
  CanalDescritor(int fd, std::string porta);
  ~CanalDescritor() override;
  CanalDescritor(const CanalDescritor&) = delete;
  CanalDescritor& operator=(const CanalDescritor&) = delete;

  void Enviar(std::string_view bytes) override;
  std::string Receber(std::chrono::milliseconds limite) override;
  int BytesDisponiveis() override;
  void Descartar() override;

 protected:
  int Fd() const { return fd_; }
  const std::string& Porta() const { return porta_; }
  [[noreturn]] void ErroSistema(const std::string& contexto, int erro) const;
  // Writes what it can; the count sent (0 when the device takes nothing now).
  virtual std::size_t Escrever(std::string_view bytes);
  // Drops what the device holds in its queues; a socket reads its input away.
  virtual void DescartarFila();
  // Raises the error that the next read or send must see when the peer is gone.
  void VerificarFechamento() const;
  void MarcarFechado(const std::string& motivo) { fechado_ = motivo; }

 private:
  int fd_;
  std::string porta_;
  std::string fechado_;
};

// Opens a device node without blocking and takes its advisory lock; the errors carry the port.
int AbrirDescritorTravado(const std::string& caminho, const std::string& porta);

std::unique_ptr<CanalDispositivo> AbrirCanalSerial(const std::string& caminho,
                                                   const TTvxDevice& config);
std::unique_ptr<CanalDispositivo> AbrirCanalCaractere(const std::string& caminho,
                                                      const std::string& porta);
std::unique_ptr<CanalDispositivo> AbrirCanalTCP(const std::string& porta,
                                                std::chrono::milliseconds limiteConexao);
std::unique_ptr<CanalDispositivo> AbrirCanalArquivo(const std::string& porta);
std::unique_ptr<CanalDispositivo> AbrirCanalNulo();

}  // namespace tarvex
