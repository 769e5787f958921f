#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvex {

class TTvxBAL;
class TTvxDevice;

// Errors of the scale component and its drivers (the device's own are ErroDispositivo).
class ErroBalanca : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Control characters of the scale protocols.
inline constexpr char SOH = '\x01', STX = '\x02', ETX = '\x03', EOT = '\x04', ENQ = '\x05',
                      ACK = '\x06', LF = '\x0A', CR = '\x0D', NAK = '\x15';

// Weight codes: a reading of 0 or more is kilograms, a negative one is one of these.
inline constexpr double kPesoInstavel = -1;
inline constexpr double kPesoNegativo = -2;
inline constexpr double kSemLeitura = -9;
inline constexpr double kSobrecarga = -10;

// --- Conversions every driver shares. The decimal separator is always an input, so an
// interpretation is a pure function of the answer, the driver's state and the separator.

// The `quantidade` characters from the 1-based `posicao`: a start below 1 counts as 1, a count
// below 1 or a start past the end gives "", a count past the end stops at the end.
std::string Copiar(std::string_view texto, int posicao, int quantidade);
// The 1-based position of `parte` in `texto` from `inicio` on; 0 when it is not there.
int Posicao(std::string_view parte, std::string_view texto, int inicio = 1);
// The 1-based position of the last `parte` in `texto`; 0 when it is not there.
int UltimaPosicao(std::string_view parte, std::string_view texto);
// Every "." and "," becomes the decimal separator.
std::string NormalizarDecimal(std::string_view texto, char separadorDecimal);
// Sign, digits, at most one separator, exponent, blanks around; anything else fails.
std::optional<double> ConverterDecimal(std::string_view texto, char separadorDecimal);
// A 32-bit integer: leading blanks, an optional sign, decimal digits only.
std::optional<std::int32_t> ConverterInteiro(std::string_view texto);
// With the separator in the text a decimal conversion, else an integer divided by `divisor`.
std::optional<double> ConverterEscalado(std::string_view texto, double divisor,
                                        char separadorDecimal);

struct LetraDeStatus {
  char letra;
  double peso;
};
// I unstable, N negative, S overload: the letters most protocols share.
inline constexpr std::initializer_list<LetraDeStatus> kLetrasINS = {
    {'I', kPesoInstavel}, {'N', kPesoNegativo}, {'S', kSobrecarga}};
// The status-letter fallback: the first character of the trimmed text (a blank when empty)
// looked up in `letras`; `padrao` when it is not there.
double PesoDaLetra(std::string_view texto, std::initializer_list<LetraDeStatus> letras,
                   double padrao);

// The log handler: setting `tratado` keeps the line out of the log file.
using TTvxGravarLog = std::function<void(const std::string& linha, bool& tratado)>;

// The driver of one scale model. This base is itself the generic driver (weight at fixed
// positions) and gives every model its framing: request, wait, read, log, failure as -9.
// Model drivers replace SolicitarPeso, LeSerial or InterpretarRepostaPeso as their protocol
// needs; the interpretation never touches the device.
class TTvxBALClass {
 public:
  // `dono` is the component whose device the driver uses.
  explicit TTvxBALClass(TTvxBAL* dono);
  virtual ~TTvxBALClass();
  TTvxBALClass(const TTvxBALClass&) = delete;
  TTvxBALClass& operator=(const TTvxBALClass&) = delete;

  virtual double AguardarPesoValido(int aMillisecTimeOut, bool aReenviar);
  virtual void Ativar();
  virtual void Desativar();
  virtual void SolicitarPeso();
  virtual void LeSerial(int MillisecTimeOut);
  virtual double LePeso(int MillisecTimeOut);
  virtual double InterpretarRepostaPeso(const std::string& aResposta);
  // aValor: currency in ten-thousandths.
  virtual bool EnviarPrecoKg(std::int64_t aValor, int aMillisecTimeOut);

  bool Ativo() const { return fAtivo; }
  const std::string& ArqLOG() const { return fArqLOG; }
  void ArqLOG(std::string arquivo) { fArqLOG = std::move(arquivo); }
  const TTvxGravarLog& OnGravarLog() const { return fOnGravarLog; }
  void OnGravarLog(TTvxGravarLog gravar) { fOnGravarLog = std::move(gravar); }
  int PosIni() const { return fPosIni; }
  void PosIni(int posicao) { fPosIni = posicao; }
  int PosFim() const { return fPosFim; }
  void PosFim(int quantidade) { fPosFim = quantidade; }
  const std::string& ModeloStr() const { return fpModeloStr; }
  double UltimoPesoLido() const { return fpUltimoPesoLido; }
  const std::string& UltimaResposta() const { return fpUltimaResposta; }

 protected:
  void RegistrarLog(const std::string& linha);
  TTvxDevice& Device() const { return *fpDevice; }
  // The process decimal separator (the regional settings).
  static char SeparadorDecimal();
  // "hh:nn:ss:zzz" with the regional time separator.
  static std::string HoraLog();
  static void Esperar(int milissegundos);

  // Logs " - hh:nn:ss:zzz TX -> " + the request, purges the device unless told not to, and
  // sends the request.
  void EnviarRequisicao(std::string_view bytes, bool limparAntes = true);
  // The body of the default read: whatever arrives within the time-out becomes
  // fpUltimaResposta, is logged as " RX <- " and interpreted; any failure makes the reading -9.
  void LerEInterpretar(int MillisecTimeOut);
  // The read of scales that answer in lines: `quantidade` lines in a row, each the bytes up to a
  // CR (consumed) within the time-out; each line becomes fpUltimaResposta, is logged as
  // " RX <- " and interpreted, and `decidir` turns the readings into the one reading. A line
  // that does not arrive stops the read at once with -9.
  void LerEmLinhas(int quantidade, int MillisecTimeOut,
                   double (*decidir)(const std::vector<double>& leituras));
  void RegistrarRecebimento(std::string_view bytes);
  // The closing line of a read: the reading, `rotuloResposta` and the answer, then `extra`.
  void RegistrarLeitura(std::string_view rotuloResposta = " - Resposta: ",
                        std::string_view extra = {});

  bool fAtivo = false;
  TTvxGravarLog fOnGravarLog;
  std::string fArqLOG;
  int fPosIni = 0;
  int fPosFim = 0;
  TTvxDevice* fpDevice;
  std::string fpModeloStr = "Generica";
  double fpUltimoPesoLido = 0;
  std::string fpUltimaResposta;

 private:
  std::string BannerDeAtivacao() const;
};

}  // namespace tarvex
