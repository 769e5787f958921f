#include "base/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/conversoes.h"

namespace tarvex {
namespace {

bool EhBranco(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view SemBrancos(std::string_view s) {
  while (!s.empty() && EhBranco(s.front())) s.remove_prefix(1);
  while (!s.empty() && EhBranco(s.back())) s.remove_suffix(1);
  return s;
}

bool IguaisSemCaixa(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

// The name of a "[name]" line, or nothing when the line is not a section header.
bool NomeDeSecao(std::string_view linha, std::string_view& nome) {
  linha = SemBrancos(linha);
  if (linha.empty() || linha.front() != '[') return false;
  std::size_t fecha = linha.find(']');
  nome =
      SemBrancos(linha.substr(1, fecha == std::string_view::npos ? linha.size() - 1 : fecha - 1));
  return true;
}

std::string Erro(const std::string& texto, const std::filesystem::path& caminho, int erro) {
  return texto + " '" + caminho.string() + "': " + std::strerror(erro);
}

void EscreverTudo(int fd, const std::string& dados, const std::filesystem::path& caminho) {
  std::size_t escrito = 0;
  while (escrito < dados.size()) {
    ssize_t n = ::write(fd, dados.data() + escrito, dados.size() - escrito);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw ErroIni(Erro("Não foi possível gravar", caminho, errno));
    escrito += static_cast<std::size_t>(n);
  }
}

}  // namespace

ArquivoIni::ArquivoIni(std::filesystem::path caminho) : caminho_(std::move(caminho)) {
  std::ifstream arquivo(caminho_, std::ios::binary);
  if (!arquivo) return;
  existe_ = true;
  std::stringstream conteudo;
  conteudo << arquivo.rdbuf();
  std::string texto = conteudo.str();
  if (texto.find("\r\n") != std::string::npos) quebra_ = "\r\n";
  std::size_t inicio = 0;
  while (inicio < texto.size()) {
    std::size_t fim = texto.find('\n', inicio);
    if (fim == std::string::npos) fim = texto.size();
    std::string linha = texto.substr(inicio, fim - inicio);
    if (!linha.empty() && linha.back() == '\r') linha.pop_back();
    linhas_.push_back(std::move(linha));
    inicio = fim + 1;
  }
}

long ArquivoIni::AcharSecao(std::string_view secao) const {
  for (std::size_t i = 0; i < linhas_.size(); ++i) {
    std::string_view nome;
    if (NomeDeSecao(linhas_[i], nome) && IguaisSemCaixa(nome, secao)) return static_cast<long>(i);
  }
  return -1;
}

long ArquivoIni::AcharChave(long inicioSecao, std::string_view chave) const {
  for (auto i = static_cast<std::size_t>(inicioSecao) + 1; i < linhas_.size(); ++i) {
    std::string_view nome;
    if (NomeDeSecao(linhas_[i], nome)) break;
    std::string_view linha = linhas_[i];
    std::size_t igual = linha.find('=');
    if (igual != std::string_view::npos &&
        IguaisSemCaixa(SemBrancos(linha.substr(0, igual)), chave))
      return static_cast<long>(i);
  }
  return -1;
}

std::string ArquivoIni::LerTexto(std::string_view secao, std::string_view chave,
                                 std::string_view padrao) const {
  long s = AcharSecao(secao);
  long k = s < 0 ? -1 : AcharChave(s, chave);
  if (k < 0) return std::string(padrao);
  std::string_view linha = linhas_[static_cast<std::size_t>(k)];
  std::string_view valor = SemBrancos(linha.substr(linha.find('=') + 1));
  if (valor.size() >= 2 && (valor.front() == '"' || valor.front() == '\'') &&
      valor.back() == valor.front())
    valor = valor.substr(1, valor.size() - 2);
  return std::string(valor.substr(0, kTamanhoMaximoValor));
}

std::int32_t ArquivoIni::LerInteiro(std::string_view secao, std::string_view chave,
                                    std::int32_t padrao) const {
  return tarvex::LerInteiro(LerTexto(secao, chave, "")).value_or(padrao);
}

void ArquivoIni::EscreverTexto(std::string_view secao, std::string_view chave,
                               std::string_view valor) {
  if (valor.find_first_of("\r\n") != std::string_view::npos)
    throw ErroIni("O valor de " + std::string(chave) +
                  " contém uma quebra de linha e não pode ser gravado.");
  std::string linha = std::string(chave) + "=" + std::string(valor);
  long s = AcharSecao(secao);
  if (s < 0) {
    if (!linhas_.empty() && !SemBrancos(linhas_.back()).empty()) linhas_.emplace_back();
    linhas_.push_back("[" + std::string(secao) + "]");
    linhas_.push_back(std::move(linha));
    return;
  }
  long k = AcharChave(s, chave);
  if (k >= 0) {
    linhas_[static_cast<std::size_t>(k)] = std::move(linha);
    return;
  }
  // After the section's last non-blank line, so the blank line before the next section stays.
  auto ultima = static_cast<std::size_t>(s);
  for (std::size_t i = ultima + 1; i < linhas_.size(); ++i) {
    std::string_view nome;
    if (NomeDeSecao(linhas_[i], nome)) break;
    if (!SemBrancos(linhas_[i]).empty()) ultima = i;
  }
  linhas_.insert(linhas_.begin() + static_cast<long>(ultima) + 1, std::move(linha));
}

void ArquivoIni::EscreverInteiro(std::string_view secao, std::string_view chave,
                                 std::int32_t valor) {
  EscreverTexto(secao, chave, std::to_string(valor));
}

std::string ArquivoIni::Texto() const {
  std::string texto;
  for (const auto& linha : linhas_) {
    texto += linha;
    texto += quebra_;
  }
  return texto;
}

void ArquivoIni::Salvar() {
  static std::atomic<unsigned> sequencia{0};
  mode_t modo = 0644;
  struct stat st {};
  if (::stat(caminho_.c_str(), &st) == 0) {
    // Root may write anything; the owner's write bit is what says "read-only" here.
    if ((st.st_mode & S_IWUSR) == 0)
      throw ErroIni("O arquivo '" + caminho_.string() + "' é somente leitura.");
    modo = st.st_mode & 07777;
  }
  std::filesystem::path temporario = caminho_;
  temporario += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(sequencia++);
  int fd = ::open(temporario.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, modo);
  if (fd < 0) throw ErroIni(Erro("Não foi possível gravar", caminho_, errno));
  try {
    EscreverTudo(fd, Texto(), temporario);
    if (::fsync(fd) != 0) throw ErroIni(Erro("Não foi possível gravar", caminho_, errno));
  } catch (...) {
    ::close(fd);
    ::unlink(temporario.c_str());
    throw;
  }
  ::close(fd);
  ::chmod(temporario.c_str(), modo);
  if (::rename(temporario.c_str(), caminho_.c_str()) != 0) {
    int erro = errno;
    ::unlink(temporario.c_str());
    throw ErroIni(Erro("Não foi possível gravar", caminho_, erro));
  }
  existe_ = true;
}

}  // namespace tarvex
