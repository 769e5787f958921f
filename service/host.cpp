#include "service/host.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <vector>

#include "service/estado.h"
#include "service/inicializar.h"
#include "service/logger.h"

namespace tarvex {
namespace {

const char* const kPastaUnidades = "/etc/systemd/system";

std::string CaminhoUnidade() {
  return std::string(kPastaUnidades) + "/" + kNomeUnidade + ".service";
}

// systemd's own test of whether it runs the machine (sd_booted).
bool SystemdEmExecucao() {
  return std::filesystem::is_directory("/run/systemd/system");
}

std::string Aspas(const std::string& texto) {
  std::string r = "\"";
  for (char c : texto) {
    if (c == '"' || c == '\\') r += '\\';
    r += c;
  }
  return r + "\"";
}

void Dizer(const OpcoesHost& opcoes, const std::string& texto, bool erro) {
  if (opcoes.silencioso) return;
  std::fprintf(erro ? stderr : stdout, "%s\n", texto.c_str());
}

// Runs systemctl with its arguments; true when it exits 0.
bool Systemctl(const std::vector<std::string>& argumentos, bool silencioso) {
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (silencioso) {
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "w", stderr);
    }
    std::vector<char*> args{const_cast<char*>("systemctl")};
    for (const auto& a : argumentos) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp("systemctl", args.data());
    ::_exit(127);
  }
  int estado = 0;
  while (::waitpid(pid, &estado, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(estado) && WEXITSTATUS(estado) == 0;
}

bool PodeEscreverUnidade() {
  return ::access(kPastaUnidades, W_OK) == 0;
}

sigset_t SinaisDoHost() {
  sigset_t sinais;
  sigemptyset(&sinais);
  for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2}) sigaddset(&sinais, s);
  return sinais;
}

void ServicePause() {
  PausarServico();
  GravarLog("Serviço Pausado");
}

void ServiceContinue() {
  ContinuarServico();
  GravarLog("Serviço Continue");
}

bool ServiceStart() {
  try {
    NomeServico = kNomeUnidade;
    IniciarServico();
    GravarLog("Serviço Start");
    return true;
  } catch (const std::exception& erro) {
    GravarLog(std::string("Erro ao iniciar serviço: ") + erro.what());
    return false;
  }
}

bool ServiceStop() {
  try {
    GravarLog("Serviço Stop");
    Finalizar();
    return true;
  } catch (const std::exception& erro) {
    GravarLog(std::string("Erro ao parar serviço: ") + erro.what());
    return false;
  }
}

}  // namespace

std::string TextoUnidadeSystemd(const std::string& executavel, const std::string& pasta) {
  std::string pastaServico =
      pasta.empty() ? std::filesystem::path(executavel).parent_path().string() : pasta;
  return "[Unit]\n"
         "Description=" +
         std::string(kDescricaoProduto) +
         "\n"
         "After=network.target\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
         "ExecStart=" +
         Aspas(executavel) + " --dir " + Aspas(pastaServico) +
         "\n"
         "Restart=on-failure\n"
         "RestartSec=5\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

int InstalarServico(const OpcoesHost& opcoes) {
  if (!SystemdEmExecucao()) {
    Dizer(opcoes, "Não foi possível instalar: o systemd não está em execução nesta máquina.", true);
    return 1;
  }
  if (!PodeEscreverUnidade()) {
    Dizer(opcoes,
          "Não foi possível instalar: sem permissão para escrever em " +
              std::string(kPastaUnidades) + " (execute como root).",
          true);
    return 1;
  }
  std::string caminho = CaminhoUnidade();
  {
    std::ofstream unidade(caminho, std::ios::trunc);
    unidade << TextoUnidadeSystemd(opcoes.executavel, opcoes.pasta);
    if (!unidade.flush()) {
      Dizer(opcoes, "Não foi possível gravar " + caminho + ".", true);
      std::filesystem::remove(caminho);
      return 1;
    }
  }
  std::string servico = std::string(kNomeUnidade) + ".service";
  if (!Systemctl({"daemon-reload"}, opcoes.silencioso) ||
      !Systemctl({"enable", servico}, opcoes.silencioso)) {
    Dizer(opcoes, "Não foi possível registrar o serviço " + servico + " no systemd.", true);
    std::filesystem::remove(caminho);
    Systemctl({"daemon-reload"}, true);
    return 1;
  }
  if (!Systemctl({"start", servico}, opcoes.silencioso)) {
    Dizer(opcoes,
          "O serviço foi instalado, mas não pôde ser iniciado: veja 'systemctl status " + servico +
              "'.",
          true);
    return 1;
  }
  Dizer(opcoes, "Serviço " + servico + " instalado e iniciado.", false);
  return 0;
}

int DesinstalarServico(const OpcoesHost& opcoes) {
  if (!SystemdEmExecucao()) {
    Dizer(opcoes, "Não foi possível desinstalar: o systemd não está em execução nesta máquina.",
          true);
    return 1;
  }
  std::string caminho = CaminhoUnidade();
  if (!std::filesystem::exists(caminho)) {
    Dizer(opcoes, "O serviço não está instalado (" + caminho + " não existe).", true);
    return 1;
  }
  if (!PodeEscreverUnidade()) {
    Dizer(opcoes,
          "Não foi possível desinstalar: sem permissão para alterar " +
              std::string(kPastaUnidades) + " (execute como root).",
          true);
    return 1;
  }
  std::string servico = std::string(kNomeUnidade) + ".service";
  Systemctl({"stop", servico}, opcoes.silencioso);
  Systemctl({"disable", servico}, opcoes.silencioso);
  std::error_code erro;
  std::filesystem::remove(caminho, erro);
  Systemctl({"daemon-reload"}, opcoes.silencioso);
  if (erro) {
    Dizer(opcoes, "Não foi possível remover " + caminho + ": " + erro.message(), true);
    return 1;
  }
  Dizer(opcoes, "Serviço " + servico + " removido.", false);
  return 0;
}

int ExecutarServico() {
  // Blocked in every thread before any exists, so only this loop takes them, outside any
  // signal handler.
  sigset_t sinais = SinaisDoHost();
  pthread_sigmask(SIG_BLOCK, &sinais, nullptr);
  if (!ServiceStart()) return 1;
  for (;;) {
    timespec umSegundo{1, 0};
    int sinal = sigtimedwait(&sinais, nullptr, &umSegundo);
    if (sinal == SIGUSR1) {
      ServicePause();
    } else if (sinal == SIGUSR2) {
      ServiceContinue();
    } else if (sinal == SIGTERM || sinal == SIGINT) {
      if (ServiceStop()) return 0;
    }
  }
}

}  // namespace tarvex
