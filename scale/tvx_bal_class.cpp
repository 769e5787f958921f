#include "scale/tvx_bal_class.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include "base/conversoes.h"
#include "base/regional.h"
#include "scale/tvx_bal.h"
#include "scale/tvx_device.h"

namespace tarvex {

std::string Copiar(std::string_view texto, int posicao, int quantidade) {
  if (posicao < 1) posicao = 1;
  if (quantidade < 1 || static_cast<std::size_t>(posicao) > texto.size()) return {};
  return std::string(
      texto.substr(static_cast<std::size_t>(posicao) - 1, static_cast<std::size_t>(quantidade)));
}

int Posicao(std::string_view parte, std::string_view texto, int inicio) {
  if (inicio < 1 || parte.empty()) return 0;
  std::size_t achada = texto.find(parte, static_cast<std::size_t>(inicio) - 1);
  return achada == std::string_view::npos ? 0 : static_cast<int>(achada) + 1;
}

int UltimaPosicao(std::string_view parte, std::string_view texto) {
  if (parte.empty()) return 0;
  std::size_t achada = texto.rfind(parte);
  return achada == std::string_view::npos ? 0 : static_cast<int>(achada) + 1;
}

std::string NormalizarDecimal(std::string_view texto, char separadorDecimal) {
  std::string normalizado(texto);
  for (char& c : normalizado)
    if (c == '.' || c == ',') c = separadorDecimal;
  return normalizado;
}

std::optional<double> ConverterDecimal(std::string_view texto, char separadorDecimal) {
  return LerReal(texto, separadorDecimal);
}

std::optional<std::int32_t> ConverterInteiro(std::string_view texto) {
  std::size_t i = texto.find_first_not_of(' ');
  if (i == std::string_view::npos) return std::nullopt;
  if (texto[i] == '+' || texto[i] == '-') ++i;
  if (i == texto.size() || texto.find_first_not_of("0123456789", i) != std::string_view::npos)
    return std::nullopt;
  return LerInteiro(texto);
}

std::optional<double> ConverterEscalado(std::string_view texto, double divisor,
                                        char separadorDecimal) {
  if (texto.find(separadorDecimal) != std::string_view::npos)
    return ConverterDecimal(texto, separadorDecimal);
  auto inteiro = ConverterInteiro(texto);
  if (!inteiro) return std::nullopt;
  return *inteiro / divisor;
}

double PesoDaLetra(std::string_view texto, std::initializer_list<LetraDeStatus> letras,
                   double padrao) {
  std::string aparado = Aparar(texto);
  char letra = aparado.empty() ? ' ' : aparado.front();
  for (const auto& l : letras)
    if (l.letra == letra) return l.peso;
  return padrao;
}

TTvxBALClass::TTvxBALClass(TTvxBAL* dono) {
  if (!dono) throw ErroBalanca("Essa Classe deve ser instanciada por TTvxBAL");
  fpDevice = &dono->Device();
  fpDevice->SetDefaultValues();
}

TTvxBALClass::~TTvxBALClass() {
  fpDevice = nullptr;
}

char TTvxBALClass::SeparadorDecimal() {
  return RegionalAtual().separadorDecimal;
}

std::string TTvxBALClass::HoraLog() {
  return FormatarDataHora("hh:nn:ss:zzz", Agora(), RegionalAtual());
}

void TTvxBALClass::Esperar(int milissegundos) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milissegundos));
}

void TTvxBALClass::RegistrarLog(const std::string& linha) {
  bool tratado = false;
  if (fOnGravarLog) fOnGravarLog(linha, tratado);
  if (tratado || fArqLOG.empty()) return;
  std::ofstream arquivo(fArqLOG, std::ios::binary | std::ios::app);
  if (!arquivo) return;
  arquivo << "-- " << FormatarDataHora("dd/mm hh:nn:ss:zzz", Agora(), RegionalAtual()) << " - "
          << linha << "\r\n";
}

void TTvxBALClass::EnviarRequisicao(std::string_view bytes, bool limparAntes) {
  RegistrarLog(" - " + HoraLog() + " TX -> " + std::string(bytes));
  if (limparAntes) Device().Limpar();
  Device().EnviaString(bytes);
}

void TTvxBALClass::RegistrarRecebimento(std::string_view bytes) {
  RegistrarLog(" - " + HoraLog() + " RX <- " + std::string(bytes));
}

void TTvxBALClass::RegistrarLeitura(std::string_view rotuloResposta, std::string_view extra) {
  RegistrarLog(
      "              UltimoPesoLido: " + FormatarGeral(fpUltimoPesoLido, SeparadorDecimal()) +
      std::string(rotuloResposta) + fpUltimaResposta + std::string(extra));
}

std::string TTvxBALClass::BannerDeAtivacao() const {
  const std::string quebra = "\r\n", traco(80, '-');
  return quebra + traco + quebra + "ATIVAR - " +
         FormatarDataHora("dd/mm/yy hh:nn:ss:zzz", Agora(), RegionalAtual()) +
         " - Modelo: " + fpModeloStr + " - Porta: " + Device().Porta() +
         "         Device: " + Device().DeviceToString(false) + quebra + traco + quebra;
}

void TTvxBALClass::Ativar() {
  if (fAtivo) return;
  RegistrarLog(BannerDeAtivacao());
  if (!Device().Porta().empty()) Device().Ativar();
  fAtivo = true;
  fpUltimaResposta.clear();
  fpUltimoPesoLido = 0;
}

void TTvxBALClass::Desativar() {
  if (!fAtivo) return;
  if (!Device().Porta().empty()) Device().Desativar();
  fAtivo = false;
}

void TTvxBALClass::SolicitarPeso() {
  EnviarRequisicao(std::string(1, ENQ));
}

void TTvxBALClass::LeSerial(int MillisecTimeOut) {
  LerEInterpretar(MillisecTimeOut);
  RegistrarLeitura();
}

void TTvxBALClass::LerEInterpretar(int MillisecTimeOut) {
  fpUltimoPesoLido = 0;
  fpUltimaResposta.clear();
  try {
    const std::string resposta = Device().LeString(MillisecTimeOut, 0, {});
    fpUltimaResposta = resposta;
    RegistrarRecebimento(resposta);
    // Some interpretations store a trimmed frame in fpUltimaResposta: they get their own copy.
    fpUltimoPesoLido = InterpretarRepostaPeso(resposta);
  } catch (const std::exception&) {
    fpUltimoPesoLido = kSemLeitura;
  }
}

void TTvxBALClass::LerEmLinhas(int quantidade, int MillisecTimeOut,
                               double (*decidir)(const std::vector<double>& leituras)) {
  fpUltimoPesoLido = 0;
  fpUltimaResposta.clear();
  try {
    std::vector<double> leituras;
    for (int i = 0; i < quantidade; ++i) {
      const std::string linha = Device().LeString(MillisecTimeOut, 0, std::string(1, CR));
      fpUltimaResposta = linha;
      RegistrarRecebimento(linha);
      leituras.push_back(InterpretarRepostaPeso(linha));
    }
    fpUltimoPesoLido = decidir(leituras);
  } catch (const std::exception&) {
    fpUltimoPesoLido = kSemLeitura;
  }
}

double TTvxBALClass::LePeso(int MillisecTimeOut) {
  if (fpModeloStr == "Generica") return AguardarPesoValido(MillisecTimeOut, true);
  SolicitarPeso();
  Esperar(200);
  LeSerial(MillisecTimeOut);
  return fpUltimoPesoLido;
}

double TTvxBALClass::AguardarPesoValido(int aMillisecTimeOut, bool aReenviar) {
  using Relogio = std::chrono::steady_clock;
  auto prazo = Relogio::now() + std::chrono::milliseconds(aMillisecTimeOut);
  double peso = kPesoInstavel;
  while (peso == kPesoInstavel && Relogio::now() < prazo) {
    if (aReenviar) {
      SolicitarPeso();
      Esperar(200);
    }
    auto distancia =
        std::chrono::duration_cast<std::chrono::milliseconds>(prazo - Relogio::now()).count();
    LeSerial(static_cast<int>(std::max<long long>(std::llabs(distancia), 1000)));
    peso = fpUltimoPesoLido;
  }
  return peso;
}

//  Generic answer, weight at PosIni for PosFim characters (here PosIni 6, PosFim 4):
//    A B C D _ 1 , 2 5 _ k g
//    1 2 3 4 5 6 7 8 9 0 1 2
double TTvxBALClass::InterpretarRepostaPeso(const std::string& aResposta) {
  if (aResposta.empty()) return 0;
  if (fPosIni == 0 && fPosFim == 0) return 0;
  std::string texto = Aparar(Copiar(aResposta, fPosIni, fPosFim));
  if (texto.empty()) throw ErroBalanca("Resposta sem peso nas posições configuradas");
  char separador = SeparadorDecimal();
  if (auto peso = ConverterEscalado(NormalizarDecimal(texto, separador), 1000, separador))
    return *peso;
  return PesoDaLetra(texto, kLetrasINS, 0);
}

bool TTvxBALClass::EnviarPrecoKg(std::int64_t, int) {
  throw ErroBalanca("Modelo " + fpModeloStr + " não possui essa funcionalidade");
}

}  // namespace tarvex
