#pragma once

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// Every failure of the device channel: opening, sending, reading, settings out of range.
class ErroDispositivo : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The ordinals are stored in config.ini: values are only ever appended.
enum class TTvxSerialParity { pNone = 0, pOdd, pEven, pMark, pSpace };
enum class TTvxSerialStop { s1 = 0, s1eMeio, s2 };
enum class TTvxHandShake { hsNenhum = 0, hsXON_XOFF, hsRTS_CTS, hsDTR_DSR };
enum class TTvxDeviceType {
  dtNenhum = 0,
  dtFile,
  dtSerial,
  dtParallel,
  dtTCP,
  dtRawPrinter,
  dtHook,
  dtUSB,
  dtBlueTooth
};

// The port kind that a port text names (the text as stored, see TTvxDevice::Porta).
TTvxDeviceType TipoDaPorta(std::string_view porta);

// A TCP port text split into host and port ("TCP:host" alone means port 9100).
struct EnderecoTCP {
  std::string host;
  std::string porta;
};
EnderecoTCP LerEnderecoTCP(std::string_view porta);

// The file that a port text opens on this system: "/dev/..." as is, "COMn" is /dev/ttyS(n-1),
// "LPTn" is /dev/lp(n-1), "USB:name" is /dev/usb/name; empty when the text names none.
std::string CaminhoDoDispositivo(std::string_view porta);

// One open back-end. Reads never spin: they wait on poll() up to their limit.
class CanalDispositivo {
 public:
  virtual ~CanalDispositivo() = default;
  // Sends every byte or raises ErroDispositivo.
  virtual void Enviar(std::string_view bytes) = 0;
  // The bytes that arrive within `limite` (empty when none); a peer that closed or a device
  // that vanished raises ErroDispositivo.
  virtual std::string Receber(std::chrono::milliseconds limite) = 0;
  virtual int BytesDisponiveis() = 0;
  virtual void Descartar() = 0;
  // False for a back-end that never answers (file, null): a read does not wait on it.
  virtual bool Responde() const { return true; }
};

// The device channel of the scale: one port text chooses serial, TCP, file or nothing, and
// the same send, read, purge operations work on all of them.
class TTvxDevice {
 public:
  TTvxDevice();
  ~TTvxDevice();
  TTvxDevice(const TTvxDevice&) = delete;
  TTvxDevice& operator=(const TTvxDevice&) = delete;

  const std::string& Porta() const { return fsPorta; }
  void Porta(std::string_view porta);
  TTvxDeviceType DeviceType() const { return fsDeviceType; }

  int Baud() const { return fsBaud; }
  void Baud(int baud);
  int Data() const { return fsData; }
  void Data(int data);
  TTvxSerialParity Parity() const { return fsParity; }
  void Parity(TTvxSerialParity parity) { fsParity = parity; }
  TTvxSerialStop Stop() const { return fsStop; }
  void Stop(TTvxSerialStop stop) { fsStop = stop; }
  TTvxHandShake HandShake() const { return fsHandShake; }
  // XON/XOFF turns software flow control on, RTS/CTS hardware flow control.
  void HandShake(TTvxHandShake handShake);
  bool HardFlow() const { return fsHardFlow; }
  void HardFlow(bool ligado) { fsHardFlow = ligado; }
  bool SoftFlow() const { return fsSoftFlow; }
  void SoftFlow(bool ligado) { fsSoftFlow = ligado; }
  // Bytes per second at most while sending; 0 = no limit.
  int MaxBandwidth() const { return fsMaxBandwidth; }
  void MaxBandwidth(int bytesPorSegundo) {
    fsMaxBandwidth = bytesPorSegundo < 0 ? 0 : bytesPorSegundo;
  }
  // Sends in pieces of SendBytesCount bytes, SendBytesInterval ms apart; 0 = all at once.
  int SendBytesCount() const { return fsSendBytesCount; }
  void SendBytesCount(int bytes) { fsSendBytesCount = bytes < 0 ? 0 : bytes; }
  int SendBytesInterval() const { return fsSendBytesInterval; }
  void SendBytesInterval(int ms) { fsSendBytesInterval = ms < 0 ? 0 : ms; }

  // Seconds; the read time-out when a read is given less than 1 ms. At least 1.
  int TimeOut() const { return fsTimeOut; }
  void TimeOut(int segundos) { fsTimeOut = segundos < 1 ? 1 : segundos; }

  bool Ativo() const { return canal_ != nullptr; }
  void Ativo(bool ativo);
  void Ativar();
  void Desativar();

  void EnviaString(std::string_view bytes);
  // With numBytes >= 1: exactly that many bytes. Else with a terminator: the bytes before it
  // (the terminator is consumed, what follows is kept for the next read; the time-out restarts
  // whenever bytes arrive). Else: waits for the first bytes and returns all that are there.
  // A time-out raises ErroDispositivo in every form.
  std::string LeString(int timeOutMilissegundos = 0, int numBytes = 0,
                       std::string_view terminador = {});
  void Limpar();
  int BytesParaLer();

  std::string DeviceToString(bool onlyException) const;
  void SetDefaultValues();

  // Appends the serial ports that can be opened, as port texts.
  void AcharPortasSeriais(std::vector<std::string>& lista, int ultimaPorta) const;
  void AcharPortasUSB(std::vector<std::string>& lista) const;
  // No Bluetooth search on this system: the list is left as it is.
  void AcharPortasBlueTooth(std::vector<std::string>& lista, bool todasPortas) const;

 private:
  std::unique_ptr<CanalDispositivo> AbrirCanal() const;
  std::chrono::milliseconds LimiteDeLeitura(int timeOutMilissegundos) const;
  [[noreturn]] void ErroTempoEsgotado() const;
  void Receber(std::chrono::milliseconds limite);
  std::string LerQuantidade(std::chrono::milliseconds limite, std::size_t quantidade);
  std::string LerAteTerminador(std::chrono::milliseconds limite, std::string_view terminador);
  std::string LerOQueChegar(std::chrono::milliseconds limite);
  void EnviarPedaco(std::string_view pedaco);

  std::string fsPorta;
  TTvxDeviceType fsDeviceType = TTvxDeviceType::dtNenhum;
  int fsBaud = 9600;
  int fsData = 8;
  TTvxSerialParity fsParity = TTvxSerialParity::pNone;
  TTvxSerialStop fsStop = TTvxSerialStop::s1;
  TTvxHandShake fsHandShake = TTvxHandShake::hsNenhum;
  bool fsHardFlow = false;
  bool fsSoftFlow = false;
  int fsMaxBandwidth = 0;
  int fsSendBytesCount = 0;
  int fsSendBytesInterval = 0;
  int fsTimeOut = 1;
  std::unique_ptr<CanalDispositivo> canal_;
  // Bytes that arrived but were not yet handed to a read (after a terminator, say).
  std::string recebidos_;
};

// The serial ports that a search finds under these roots (/sys/class/tty and /dev on a real
// system; tests give their own tree): entries with a device whose node can be opened, with a
// number below `ultimaPorta`, in name order.
std::vector<std::string> ListarPortasSeriais(const std::string& raizSys, const std::string& raizDev,
                                             int ultimaPorta);

}  // namespace tarvex
