#include "scale/tvx_device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <thread>

#include "base/conversoes.h"
#include "scale/tvx_device_canais.h"

namespace tarvex {
namespace {

std::string Maiusculas(std::string_view texto) {
  std::string s(texto);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Minusculas(std::string_view texto) {
  std::string s(texto);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ComecaCom(std::string_view texto, std::string_view inicio) {
  return texto.substr(0, inicio.size()) == inicio;
}

bool TerminaCom(std::string_view texto, std::string_view fim) {
  return texto.size() >= fim.size() && texto.substr(texto.size() - fim.size()) == fim;
}

// The number after a prefix such as "COM" ("COM3" gives 3); 0 when there is none.
int NumeroApos(std::string_view texto, std::string_view prefixo) {
  if (!ComecaCom(Maiusculas(texto), prefixo)) return 0;
  auto numero = LerInteiro(texto.substr(prefixo.size()));
  return numero && *numero > 0 &&
                 texto.substr(prefixo.size()).find_first_not_of("0123456789") ==
                     std::string_view::npos
             ? *numero
             : 0;
}

std::string LetraDaParidade(TTvxSerialParity paridade) {
  switch (paridade) {
    case TTvxSerialParity::pOdd:
      return "O";
    case TTvxSerialParity::pEven:
      return "E";
    case TTvxSerialParity::pMark:
      return "M";
    case TTvxSerialParity::pSpace:
      return "S";
    case TTvxSerialParity::pNone:
      break;
  }
  return "N";
}

std::string TextoDoStop(TTvxSerialStop stop) {
  switch (stop) {
    case TTvxSerialStop::s1eMeio:
      return "1,5";
    case TTvxSerialStop::s2:
      return "2";
    case TTvxSerialStop::s1:
      break;
  }
  return "1";
}

std::string TextoDoHandShake(TTvxHandShake handShake) {
  switch (handShake) {
    case TTvxHandShake::hsXON_XOFF:
      return "XON/XOFF";
    case TTvxHandShake::hsRTS_CTS:
      return "RTS/CTS";
    case TTvxHandShake::hsDTR_DSR:
      return "DTR/DSR";
    case TTvxHandShake::hsNenhum:
      break;
  }
  return "";
}

// The number at the end of a device name ("ttyUSB12" gives 12); -1 when it has none.
int NumeroDoFim(const std::string& nome) {
  std::size_t i = nome.size();
  while (i > 0 && std::isdigit(static_cast<unsigned char>(nome[i - 1]))) --i;
  if (i == nome.size() || nome.size() - i > 6) return -1;
  return std::stoi(nome.substr(i));
}

bool PodeAbrir(const std::string& caminho) {
  int fd = ::open(caminho.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool livre = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return livre;
}

}  // namespace

TTvxDeviceType TipoDaPorta(std::string_view porta) {
  if (ComecaCom(porta, "/dev/")) return TTvxDeviceType::dtSerial;
  std::string p = Maiusculas(porta);
  if (p == "*") return TTvxDeviceType::dtRawPrinter;
  if (ComecaCom(p, "NULL")) return TTvxDeviceType::dtNenhum;
  if (ComecaCom(p, "TCP:")) return TTvxDeviceType::dtTCP;
  if (ComecaCom(p, "RAW:")) return TTvxDeviceType::dtRawPrinter;
  if (ComecaCom(p, "BTH:")) return TTvxDeviceType::dtBlueTooth;
  if (TerminaCom(p, ".TXT") || ComecaCom(p, "FILE:")) return TTvxDeviceType::dtFile;
  if (ComecaCom(p, "LPT")) return TTvxDeviceType::dtParallel;
  if (ComecaCom(p, "COM") || ComecaCom(porta, "\\\\.\\")) return TTvxDeviceType::dtSerial;
  if (ComecaCom(p, "DLL")) return TTvxDeviceType::dtHook;
  if (ComecaCom(p, "USB") || Minusculas(porta.substr(0, 7)) == "\\\\?\\usb")
    return TTvxDeviceType::dtUSB;
  // No printer names are known to the system here, so the printer rule never matches.
  if (porta.find('\\') != std::string_view::npos) return TTvxDeviceType::dtFile;
  return TTvxDeviceType::dtNenhum;
}

EnderecoTCP LerEnderecoTCP(std::string_view porta) {
  std::string_view resto = porta.substr(std::min<std::size_t>(4, porta.size()));
  EnderecoTCP endereco{std::string(resto), "9100"};
  std::size_t doisPontos = resto.find(':');
  if (doisPontos != std::string_view::npos) {
    endereco.host = std::string(resto.substr(0, doisPontos));
    std::string numero(resto.substr(doisPontos + 1, 5));
    if (!numero.empty()) endereco.porta = numero;
  }
  return endereco;
}

std::string CaminhoDoDispositivo(std::string_view porta) {
  if (ComecaCom(porta, "/dev/")) return std::string(porta);
  std::string_view nome = ComecaCom(porta, "\\\\.\\") ? porta.substr(4) : porta;
  if (int n = NumeroApos(nome, "COM"); n > 0) return "/dev/ttyS" + std::to_string(n - 1);
  if (int n = NumeroApos(nome, "LPT"); n > 0) return "/dev/lp" + std::to_string(n - 1);
  if (Maiusculas(porta.substr(0, 4)) == "USB:" && porta.size() > 4)
    return "/dev/usb/" + std::string(porta.substr(4));
  return {};
}

TTvxDevice::TTvxDevice() = default;

TTvxDevice::~TTvxDevice() {
  Desativar();
}

void TTvxDevice::Porta(std::string_view porta) {
  if (Ativo()) throw ErroDispositivo("Não é possível mudar a Porta com o Dispositivo Ativo");
  std::string texto = Aparar(porta);
  std::string inicio = Maiusculas(texto.substr(0, 3));
  if (inicio == "COM" || inicio == "LPT") texto = Maiusculas(texto);
  fsPorta = texto;
  fsDeviceType = TipoDaPorta(fsPorta);
}

void TTvxDevice::Baud(int baud) {
  if (baud < 50 || baud > 4000000)
    throw ErroDispositivo(
        "Valor deve estar na faixa de 50 a 4000000.\nNormalmente os equipamentos Seriais "
        "utilizam: 9600");
  fsBaud = baud;
}

void TTvxDevice::Data(int data) {
  if (data < 5 || data > 8)
    throw ErroDispositivo(
        "Valor deve estar na faixa de 5 a 8.\nNormalmente os equipamentos Seriais utilizam: 7 "
        "ou 8");
  fsData = data;
}

void TTvxDevice::HandShake(TTvxHandShake handShake) {
  fsHandShake = handShake;
  fsSoftFlow = handShake == TTvxHandShake::hsXON_XOFF;
  fsHardFlow = handShake == TTvxHandShake::hsRTS_CTS;
}

void TTvxDevice::Ativo(bool ativo) {
  if (ativo)
    Ativar();
  else
    Desativar();
}

std::unique_ptr<CanalDispositivo> TTvxDevice::AbrirCanal() const {
  switch (fsDeviceType) {
    case TTvxDeviceType::dtNenhum:
      if (fsPorta.empty() || !ComecaCom(Maiusculas(fsPorta), "NULL"))
        throw ErroDispositivo("Porta não definida");
      return AbrirCanalNulo();
    case TTvxDeviceType::dtSerial:
      return AbrirCanalSerial(CaminhoDoDispositivo(fsPorta), *this);
    case TTvxDeviceType::dtParallel:
    case TTvxDeviceType::dtUSB:
      return AbrirCanalCaractere(CaminhoDoDispositivo(fsPorta), fsPorta);
    case TTvxDeviceType::dtTCP:
      return AbrirCanalTCP(fsPorta, std::chrono::seconds(fsTimeOut));
    case TTvxDeviceType::dtFile:
      return AbrirCanalArquivo(fsPorta);
    case TTvxDeviceType::dtRawPrinter:
    case TTvxDeviceType::dtHook:
    case TTvxDeviceType::dtBlueTooth:
      break;
  }
  throw ErroDispositivo("Tipo de porta não suportado neste sistema: " + fsPorta);
}

void TTvxDevice::Ativar() {
  if (Ativo()) return;
  auto canal = AbrirCanal();
  canal->Descartar();
  recebidos_.clear();
  canal_ = std::move(canal);
}

void TTvxDevice::Desativar() {
  canal_.reset();
  recebidos_.clear();
}

void TTvxDevice::EnviarPedaco(std::string_view pedaco) {
  canal_->Enviar(pedaco);
}

void TTvxDevice::EnviaString(std::string_view bytes) {
  if (fsDeviceType == TTvxDeviceType::dtNenhum) return;
  if (!canal_) throw ErroDispositivo("Porta " + fsPorta + " não está aberta");
  std::size_t tamanhoPedaco = bytes.size();
  if (fsSendBytesCount > 0)
    tamanhoPedaco = static_cast<std::size_t>(fsSendBytesCount);
  else if (fsMaxBandwidth > 0)
    tamanhoPedaco = static_cast<std::size_t>(fsMaxBandwidth);
  while (!bytes.empty()) {
    std::string_view pedaco = bytes.substr(0, std::max<std::size_t>(tamanhoPedaco, 1));
    EnviarPedaco(pedaco);
    bytes.remove_prefix(pedaco.size());
    if (bytes.empty()) break;
    long pausa = fsSendBytesInterval;
    if (fsMaxBandwidth > 0)
      pausa = std::max(pausa, static_cast<long>(pedaco.size() * 1000 / fsMaxBandwidth));
    std::this_thread::sleep_for(std::chrono::milliseconds(pausa));
  }
}

std::chrono::milliseconds TTvxDevice::LimiteDeLeitura(int timeOutMilissegundos) const {
  if (timeOutMilissegundos < 1) return std::chrono::seconds(fsTimeOut);
  return std::chrono::milliseconds(timeOutMilissegundos);
}

void TTvxDevice::ErroTempoEsgotado() const {
  throw ErroDispositivo("Tempo esgotado na leitura da porta " + fsPorta);
}

void TTvxDevice::Receber(std::chrono::milliseconds limite) {
  if (!canal_->Responde()) {
    if (recebidos_.empty()) ErroTempoEsgotado();
    return;
  }
  recebidos_ += canal_->Receber(limite);
}

std::string TTvxDevice::LerQuantidade(std::chrono::milliseconds limite, std::size_t quantidade) {
  auto prazo = std::chrono::steady_clock::now() + limite;
  while (recebidos_.size() < quantidade) {
    auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(
        prazo - std::chrono::steady_clock::now());
    if (resta.count() <= 0 || !canal_->Responde()) ErroTempoEsgotado();
    Receber(resta);
  }
  std::string lidos = recebidos_.substr(0, quantidade);
  recebidos_.erase(0, quantidade);
  return lidos;
}

std::string TTvxDevice::LerAteTerminador(std::chrono::milliseconds limite,
                                         std::string_view terminador) {
  auto prazo = std::chrono::steady_clock::now() + limite;
  for (;;) {
    std::size_t fim = recebidos_.find(terminador);
    if (fim != std::string::npos) {
      std::string lidos = recebidos_.substr(0, fim);
      recebidos_.erase(0, fim + terminador.size());
      return lidos;
    }
    auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(
        prazo - std::chrono::steady_clock::now());
    if (resta.count() <= 0 || !canal_->Responde()) ErroTempoEsgotado();
    std::size_t antes = recebidos_.size();
    Receber(resta);
    if (recebidos_.size() > antes) prazo = std::chrono::steady_clock::now() + limite;
  }
}

std::string TTvxDevice::LerOQueChegar(std::chrono::milliseconds limite) {
  auto prazo = std::chrono::steady_clock::now() + limite;
  while (recebidos_.empty()) {
    auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(
        prazo - std::chrono::steady_clock::now());
    if (resta.count() <= 0 || !canal_->Responde()) ErroTempoEsgotado();
    Receber(resta);
  }
  // What is already waiting joins the answer; nothing more is waited for.
  for (std::size_t antes = 0; canal_->Responde() && recebidos_.size() != antes;) {
    antes = recebidos_.size();
    recebidos_ += canal_->Receber(std::chrono::milliseconds(0));
  }
  std::string lidos;
  lidos.swap(recebidos_);
  return lidos;
}

std::string TTvxDevice::LeString(int timeOutMilissegundos, int numBytes,
                                 std::string_view terminador) {
  if (fsDeviceType == TTvxDeviceType::dtNenhum) return {};
  if (!canal_) throw ErroDispositivo("Porta " + fsPorta + " não está aberta");
  auto limite = LimiteDeLeitura(timeOutMilissegundos);
  if (numBytes >= 1) return LerQuantidade(limite, static_cast<std::size_t>(numBytes));
  if (!terminador.empty()) return LerAteTerminador(limite, terminador);
  return LerOQueChegar(limite);
}

void TTvxDevice::Limpar() {
  recebidos_.clear();
  if (canal_) canal_->Descartar();
}

int TTvxDevice::BytesParaLer() {
  int pendentes = static_cast<int>(recebidos_.size());
  return canal_ ? pendentes + canal_->BytesDisponiveis() : pendentes;
}

std::string TTvxDevice::DeviceToString(bool onlyException) const {
  TTvxDevice padrao;
  std::string texto;
  auto incluir = [&](bool diferente, const std::string& parte) {
    if (!onlyException || diferente) texto += parte;
  };
  incluir(fsBaud != padrao.fsBaud, "BAUD=" + std::to_string(fsBaud));
  incluir(fsData != padrao.fsData, " DATA=" + std::to_string(fsData));
  incluir(fsParity != padrao.fsParity, " PARITY=" + LetraDaParidade(fsParity));
  incluir(fsStop != padrao.fsStop, " STOP=" + TextoDoStop(fsStop));
  incluir(fsHandShake != padrao.fsHandShake, " HANDSHAKE=" + TextoDoHandShake(fsHandShake));
  if (fsHardFlow) texto += " HARDFLOW";
  if (fsSoftFlow) texto += " SOFTFLOW";
  incluir(fsMaxBandwidth != 0, " MAXBANDWIDTH=" + std::to_string(fsMaxBandwidth));
  incluir(fsSendBytesCount != 0, " SENDBYTESCOUNT=" + std::to_string(fsSendBytesCount));
  incluir(fsSendBytesInterval != 0, " SENDBYTESINTERVAL=" + std::to_string(fsSendBytesInterval));
  return Aparar(texto);
}

void TTvxDevice::SetDefaultValues() {
  fsBaud = 9600;
  fsData = 8;
  fsParity = TTvxSerialParity::pNone;
  fsStop = TTvxSerialStop::s1;
  HandShake(TTvxHandShake::hsNenhum);
}

std::vector<std::string> ListarPortasSeriais(const std::string& raizSys, const std::string& raizDev,
                                             int ultimaPorta) {
  namespace fs = std::filesystem;
  std::vector<std::pair<std::string, int>> achadas;
  std::error_code erro;
  for (const auto& entrada : fs::directory_iterator(raizSys, erro)) {
    std::string nome = entrada.path().filename().string();
    int numero = NumeroDoFim(nome);
    if (numero < 0 || numero >= ultimaPorta) continue;
    if (!fs::exists(entrada.path() / "device", erro)) continue;
    std::string caminho = raizDev + "/" + nome;
    if (PodeAbrir(caminho))
      achadas.emplace_back(nome.substr(0, nome.size() - std::to_string(numero).size()), numero);
  }
  std::sort(achadas.begin(), achadas.end());
  std::vector<std::string> portas;
  for (const auto& [prefixo, numero] : achadas)
    portas.push_back(raizDev + "/" + prefixo + std::to_string(numero));
  return portas;
}

void TTvxDevice::AcharPortasSeriais(std::vector<std::string>& lista, int ultimaPorta) const {
  for (auto& porta : ListarPortasSeriais("/sys/class/tty", "/dev", ultimaPorta))
    lista.push_back(std::move(porta));
}

void TTvxDevice::AcharPortasUSB(std::vector<std::string>& lista) const {
  std::error_code erro;
  std::vector<std::string> nomes;
  for (const auto& entrada : std::filesystem::directory_iterator("/dev/usb", erro)) {
    std::string nome = entrada.path().filename().string();
    if (ComecaCom(nome, "lp")) nomes.push_back(nome);
  }
  std::sort(nomes.begin(), nomes.end());
  for (const auto& nome : nomes) lista.push_back("USB:" + nome);
}

void TTvxDevice::AcharPortasBlueTooth(std::vector<std::string>&, bool) const {}

}  // namespace tarvex
