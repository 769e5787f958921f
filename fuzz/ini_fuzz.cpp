// The INI reader and writer on any file text: a read, a few writes, a save and a second read
// keep every key that was not written, give back what was written, and refuse a value with a
// line break without changing anything.
//
// Input: the file text, then optionally a 0x00 byte and the bytes the writes are chosen from.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ini.h"

namespace tarvex {
namespace {

struct Chave {
  std::string secao;
  std::string nome;
};

// The keys the service writes, in the sections it writes them to.
const Chave kChavesGravadas[] = {
    {"Service", "AtivarLog"}, {"Service", "IntervaloVerificaBalanca"},
    {"Balanca", "Porta"},     {"Balanca", "IdBalanca"},
    {"Balanca", "Modelo"},    {"Webhook", "URL"},
    {"Webhook", "Token"},     {"Webhook", "EndpointEnvioPeso"},
};

std::filesystem::path Arquivo() {
  // tmpfs when there is one: every save syncs the file.
  std::filesystem::path pasta = std::filesystem::exists("/dev/shm")
                                    ? std::filesystem::path("/dev/shm")
                                    : std::filesystem::temp_directory_path();
  pasta /= "tarvex-fuzz-ini-" + std::to_string(::getpid());
  std::filesystem::create_directories(pasta);
  return pasta / "config.ini";
}

void Gravar(const std::filesystem::path& caminho, std::string_view texto) {
  std::ofstream(caminho, std::ios::binary | std::ios::trunc)
      .write(texto.data(), std::streamsize(texto.size()));
}

std::string_view SemBrancos(std::string_view s) {
  auto branco = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && branco(s.front())) s.remove_prefix(1);
  while (!s.empty() && branco(s.back())) s.remove_suffix(1);
  return s;
}

bool IguaisSemCaixa(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Every section and key name the text seems to hold; the reader decides what they mean.
std::vector<Chave> ChavesDoTexto(std::string_view texto) {
  std::vector<Chave> chaves;
  std::string secao;
  while (!texto.empty()) {
    std::size_t fim = texto.find('\n');
    std::string_view linha = SemBrancos(texto.substr(0, fim));
    texto.remove_prefix(fim == std::string_view::npos ? texto.size() : fim + 1);
    if (!linha.empty() && linha.front() == '[') {
      secao = std::string(SemBrancos(linha.substr(1, linha.find(']') - 1)));
    } else if (std::size_t igual = linha.find('='); igual != std::string_view::npos) {
      chaves.push_back({secao, std::string(SemBrancos(linha.substr(0, igual)))});
    }
  }
  return chaves;
}

// What a read gives back for a written value: no blanks around it, no pair of quotes, at most
// the longest value.
std::string Lido(std::string_view valor) {
  valor = SemBrancos(valor);
  if (valor.size() >= 2 && (valor.front() == '"' || valor.front() == '\'') &&
      valor.back() == valor.front())
    valor = valor.substr(1, valor.size() - 2);
  return std::string(valor.substr(0, ArquivoIni::kTamanhoMaximoValor));
}

struct Escrita {
  Chave chave;
  std::string valor;
};

// Each write takes one byte for the key and one for the value's length, then the value.
std::vector<Escrita> Escritas(std::string_view bytes) {
  std::vector<Escrita> escritas;
  while (bytes.size() >= 2) {
    const auto& chave =
        kChavesGravadas[static_cast<unsigned char>(bytes[0]) % std::size(kChavesGravadas)];
    std::size_t tamanho =
        std::min<std::size_t>(static_cast<unsigned char>(bytes[1]), bytes.size() - 2);
    escritas.push_back({chave, std::string(bytes.substr(2, tamanho))});
    bytes.remove_prefix(2 + tamanho);
  }
  return escritas;
}

bool FoiEscrita(const std::vector<Escrita>& escritas, const Chave& chave) {
  for (const auto& e : escritas)
    if (IguaisSemCaixa(e.chave.secao, chave.secao) && IguaisSemCaixa(e.chave.nome, chave.nome))
      return true;
  return false;
}

const std::string kAusente = "\x01<ausente>\x01";

}  // namespace
}  // namespace tarvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
  using namespace tarvex;
  static const std::filesystem::path caminho = Arquivo();
  std::string_view entrada(reinterpret_cast<const char*>(dados), tamanho);
  std::size_t divisa = entrada.find('\0');
  std::string_view texto = entrada.substr(0, divisa);
  std::vector<Escrita> escritas =
      Escritas(divisa == std::string_view::npos ? "" : entrada.substr(divisa + 1));
  Gravar(caminho, texto);

  ArquivoIni ini(caminho);
  const std::vector<Chave> chaves = ChavesDoTexto(texto);
  std::vector<std::string> antes;
  for (const auto& c : chaves) antes.push_back(ini.LerTexto(c.secao, c.nome, kAusente));

  std::vector<Escrita> feitas;
  for (const auto& e : escritas) {
    const std::string textoAntes = ini.Texto();
    try {
      ini.EscreverTexto(e.chave.secao, e.chave.nome, e.valor);
    } catch (const ErroIni&) {
      if (e.valor.find_first_of("\r\n") == std::string::npos) std::abort();
      if (ini.Texto() != textoAntes) std::abort();
      continue;
    }
    if (e.valor.find_first_of("\r\n") != std::string::npos) std::abort();
    std::erase_if(feitas, [&](const Escrita& f) {
      return IguaisSemCaixa(f.chave.secao, e.chave.secao) &&
             IguaisSemCaixa(f.chave.nome, e.chave.nome);
    });
    feitas.push_back(e);
  }
  ini.Salvar();

  ArquivoIni relido(caminho);
  for (std::size_t i = 0; i < chaves.size(); ++i) {
    if (FoiEscrita(feitas, chaves[i])) continue;
    if (relido.LerTexto(chaves[i].secao, chaves[i].nome, kAusente) != antes[i]) std::abort();
  }
  for (const auto& f : feitas)
    if (relido.LerTexto(f.chave.secao, f.chave.nome, kAusente) != Lido(f.valor)) std::abort();
  return 0;
}
