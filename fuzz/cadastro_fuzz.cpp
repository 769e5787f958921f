// The POST bodies of the three configuration routes: any bytes give 201, 400 or 500, never a
// crash. A refusal leaves config.ini as it was; a 201 leaves a file that reads back what the
// answer says was saved. Every answer body is the JSON (or the 400 text) the route promises.
//
// Input: one byte chooses the route (balanca, webhook, service), the rest is the body.
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "base/ini.h"
#include "base/regional.h"
#include "service/config.h"
#include "service/controladores.h"
#include "service/estado.h"

namespace tarvex {
namespace {

using Json = nlohmann::json;

const char* const kConfigInicial =
    "; config of the fuzz run\n"
    "[Service]\nPorta=50994\nAtivarLog=S\nIntervaloVerificaBalanca=5000\n\n"
    "[Balanca]\nModelo=16\nPorta=TCP:127.0.0.1:1\nIdBalanca=b1\nCaracterTerminator=#13\n\n"
    "[Webhook]\nURL=\nToken=segredo\n\n"
    "[Outra]\nChave=valor que ninguém escreve\n";

void PrepararPasta() {
  std::filesystem::path pasta = std::filesystem::exists("/dev/shm")
                                    ? std::filesystem::path("/dev/shm")
                                    : std::filesystem::temp_directory_path();
  pasta /= "tarvex-fuzz-cadastro-" + std::to_string(::getpid());
  std::filesystem::create_directories(pasta / "Logs");
  DirExe = pasta.string() + "/";
  DirLogs = DirExe + "Logs/";
  ArqConfigINI = DirExe + "config.ini";
}

std::string LerTudo(const std::string& caminho) {
  std::ifstream arquivo(caminho, std::ios::binary);
  std::stringstream conteudo;
  conteudo << arquivo.rdbuf();
  return conteudo.str();
}

// The file and the records as a freshly started service has them. The records start from the
// file every time, so no input leaves the manual monitor configured for the next.
void Reiniciar() {
  std::ofstream(ArqConfigINI, std::ios::binary | std::ios::trunc) << kConfigInicial;
  CarregarConfig();
}

std::string_view SemBrancos(std::string_view s) {
  auto branco = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && branco(s.front())) s.remove_prefix(1);
  while (!s.empty() && branco(s.back())) s.remove_suffix(1);
  return s;
}

// What reading the file gives for a written text (blanks and a pair of quotes dropped).
std::string Lido(std::string_view valor) {
  valor = SemBrancos(valor);
  if (valor.size() >= 2 && (valor.front() == '"' || valor.front() == '\'') &&
      valor.back() == valor.front())
    valor = valor.substr(1, valor.size() - 2);
  return std::string(valor.substr(0, ArquivoIni::kTamanhoMaximoValor));
}

void Exigir(bool condicao) {
  if (!condicao) std::abort();
}

void ConferirSalvo(int rota) {
  ArquivoIni ini(ArqConfigINI);
  Exigir(ini.LerTexto("Outra", "Chave", "") == "valor que ninguém escreve");
  Exigir(ini.LerInteiro("Service", "Porta", 0) == 50994);
  if (rota == 0) {
    const auto b = ConfigBalanca.Copia();
    Exigir(ini.LerTexto("Balanca", "IdBalanca", "\x01") == Lido(b.IdBalanca));
    Exigir(ini.LerInteiro("Balanca", "Modelo", -1) == b.Modelo);
    Exigir(ini.LerInteiro("Balanca", "BaudRate", -1) == b.BaudRate);
    Exigir(ini.LerInteiro("Balanca", "TimeOutLePeso", -1) == b.TimeOutLePeso);
  } else if (rota == 1) {
    const auto w = ConfigWebHook.Copia();
    Exigir(ini.LerTexto("Webhook", "IdIntegracao", "\x01") == Lido(w.IdIntegracao));
    Exigir(ini.LerTexto("Webhook", "URL", "\x01") == Lido(w.URL));
    Exigir(ini.LerTexto("Webhook", "Token", "\x01") == Lido(w.Token));
    Exigir(ini.LerTexto("Webhook", "EndpointEnvioPeso", "\x01") == Lido(w.EndpointEnvioPeso));
    Exigir(ini.LerTexto("Webhook", "EndpointEnvioStatus", "\x01") == Lido(w.EndpointEnvioStatus));
  } else {
    const auto s = ConfigService.Copia();
    Exigir(TextoParaBool(ini.LerTexto("Service", "AtivarLog", "")) == s.AtivarLog);
    Exigir(ini.LerInteiro("Service", "IntervaloVerificaBalanca", -1) == s.IntervaloVerificaBalanca);
    Exigir(ini.LerInteiro("Service", "PeriodoArmazenamentoLog", -1) == s.PeriodoArmazenamentoLog);
  }
}

RespostaApi Cadastrar(int rota, const std::string& corpo) {
  switch (rota) {
    case 0:
      return TBalancaController::CadastrarBalanca(corpo);
    case 1:
      return TWebhookController::CadastrarWebhook(corpo);
    default:
      return TServiceController::CadastrarService(corpo);
  }
}

}  // namespace
}  // namespace tarvex

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarvex::PrepararPasta();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  using namespace tarvex;
  if (tamanho < 1) return 0;
  const int rota = dados[0] % 3;
  const std::string corpo(reinterpret_cast<const char*>(dados) + 1, tamanho - 1);
  Reiniciar();
  const std::string arquivoAntes = LerTudo(ArqConfigINI);

  RespostaApi resposta;
  try {
    resposta = Cadastrar(rota, corpo);
  } catch (const CorpoNaoObjeto&) {
    // The route's generic 500: nothing may have changed.
    Exigir(LerTudo(ArqConfigINI) == arquivoAntes);
    return 0;
  }
  Exigir(resposta.tipo == "application/json");
  if (resposta.status == 400) {
    Exigir(resposta.corpo == "JSON inválido.");
    Exigir(LerTudo(ArqConfigINI) == arquivoAntes);
    return 0;
  }
  Exigir(resposta.status == 201 || resposta.status == 500);
  const Json corpoResposta = Json::parse(resposta.corpo, nullptr, false);
  Exigir(corpoResposta.is_object());
  if (resposta.status == 500) {
    Exigir(corpoResposta.size() == 1 && corpoResposta.contains("erro") &&
           corpoResposta["erro"].is_string());
    Exigir(LerTudo(ArqConfigINI) == arquivoAntes);
    return 0;
  }
  Exigir(corpoResposta.contains("mensagem"));
  ConferirSalvo(rota);
  return 0;
}
