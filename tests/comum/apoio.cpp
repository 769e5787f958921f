#include "tests/comum/apoio.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tarvex::teste {

PastaTemporaria::PastaTemporaria() {
  std::string modelo = (std::filesystem::temp_directory_path() / "tarvex-XXXXXX").string();
  if (!::mkdtemp(modelo.data())) throw std::runtime_error("mkdtemp falhou");
  caminho_ = modelo;
}

PastaTemporaria::~PastaTemporaria() {
  std::error_code erro;
  std::filesystem::permissions(caminho_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, erro);
  std::filesystem::remove_all(caminho_, erro);
}

std::string LerArquivo(const std::filesystem::path& caminho) {
  std::ifstream arquivo(caminho, std::ios::binary);
  std::stringstream texto;
  texto << arquivo.rdbuf();
  return texto.str();
}

void GravarArquivo(const std::filesystem::path& caminho, const std::string& texto) {
  std::ofstream arquivo(caminho, std::ios::binary | std::ios::trunc);
  arquivo << texto;
}

std::vector<std::string> Linhas(const std::string& texto) {
  std::vector<std::string> linhas;
  std::istringstream entrada(texto);
  for (std::string linha; std::getline(entrada, linha);) {
    if (!linha.empty() && linha.back() == '\r') linha.pop_back();
    linhas.push_back(linha);
  }
  return linhas;
}

std::vector<std::string> Ultimas(const std::vector<std::string>& linhas, std::size_t quantidade) {
  auto inicio =
      linhas.size() > quantidade ? linhas.end() - static_cast<long>(quantidade) : linhas.begin();
  return {inicio, linhas.end()};
}

std::vector<std::string> LinhasDaParada() {
  return {"Serviço Stop", "TMonitorBalancaThread - Pause", "TMonitorBalancaThread - Destroy"};
}

bool EsperarAte(const std::function<bool()>& condicao, std::chrono::milliseconds limite) {
  auto fim = std::chrono::steady_clock::now() + limite;
  while (std::chrono::steady_clock::now() < fim) {
    if (condicao()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condicao();
}

std::optional<int> AguardarFilho(pid_t pid, std::chrono::milliseconds limite) {
  auto fim = std::chrono::steady_clock::now() + limite;
  do {
    int estado = 0;
    if (::waitpid(pid, &estado, WNOHANG) == pid)
      return WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < fim);
  return std::nullopt;
}

std::string Programa(const std::string& nome) {
  return std::string(TARVEX_BIN_DIR) + "/" + nome;
}

Processo::Processo(const std::vector<std::string>& argumentos,
                   const std::vector<std::string>& ambienteExtra) {
  char modelo[] = "/tmp/tarvex-saida-XXXXXX";
  int fd = ::mkstemp(modelo);
  if (fd < 0) throw std::runtime_error("mkstemp falhou");
  saida_ = modelo;
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork falhou");
  if (pid_ == 0) {
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    int nulo = ::open("/dev/null", O_RDONLY);
    ::dup2(nulo, 0);
    sigset_t todos;
    sigemptyset(&todos);
    sigprocmask(SIG_SETMASK, &todos, nullptr);
    for (const auto& variavel : ambienteExtra) ::putenv(const_cast<char*>(variavel.c_str()));
    std::vector<char*> args;
    for (const auto& a : argumentos) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(fd);
}

Processo::~Processo() {
  if (!codigo_) {
    ::kill(pid_, SIGKILL);
    int estado = 0;
    ::waitpid(pid_, &estado, 0);
  }
  std::error_code erro;
  std::filesystem::remove(saida_, erro);
}

void Processo::Sinalizar(int sinal) const {
  ::kill(pid_, sinal);
}

std::optional<int> Processo::AguardarFim(std::chrono::milliseconds limite) {
  if (!codigo_) codigo_ = AguardarFilho(pid_, limite);
  return codigo_;
}

std::string Processo::Saida() const {
  return LerArquivo(saida_);
}

}  // namespace tarvex::teste
