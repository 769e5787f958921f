#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "base/regional.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "service/logger.h"

namespace {

void MostrarAjuda() {
  std::puts(
      "Uso: ServiceTarvex [--dir PASTA]\n"
      "\n"
      "Liga uma balança ao resto do sistema: lê o peso pela porta serial ou TCP,\n"
      "serve-o por uma API HTTP e envia pesos e estados a um webhook.\n"
      "\n"
      "  --dir PASTA   pasta de config.ini e de Logs (por omissão, a do executável)\n"
      "  --help        mostra esta ajuda\n"
      "  --version     mostra a versão\n"
      "\n"
      "Sem opções, o serviço corre em primeiro plano até SIGTERM ou SIGINT.");
}

// Blocks the stop signals in every thread, so the main thread alone takes them with
// sigtimedwait and the service never runs work inside a signal handler.
sigset_t BloquearSinaisDeParada() {
  sigset_t sinais;
  sigemptyset(&sinais);
  sigaddset(&sinais, SIGTERM);
  sigaddset(&sinais, SIGINT);
  pthread_sigmask(SIG_BLOCK, &sinais, nullptr);
  return sinais;
}

void AguardarParada(const sigset_t& sinais) {
  timespec umSegundo{1, 0};
  while (sigtimedwait(&sinais, nullptr, &umSegundo) < 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tarvex;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      MostrarAjuda();
      return 0;
    }
    if (arg == "--version") {
      std::printf("ServiceTarvex %s\n", VersaoExecutavel().c_str());
      return 0;
    }
    if (arg == "--dir" && i + 1 < argc) {
      DirConfigurado = argv[++i];
    } else {
      std::fprintf(stderr, "ServiceTarvex: opção desconhecida: %s (veja --help)\n", argv[i]);
      return 2;
    }
  }

  sigset_t sinais = BloquearSinaisDeParada();
  DefinirRegional(LerRegionalDoSistema());
  NomeServico = "TarvexService";
  try {
    IniciarServico();
    GravarLog("Serviço Start");
  } catch (const std::exception& erro) {
    GravarLog(std::string("Erro ao iniciar serviço: ") + erro.what());
    return 1;
  }

  AguardarParada(sinais);

  try {
    GravarLog("Serviço Stop");
    Finalizar();
  } catch (const std::exception& erro) {
    GravarLog(std::string("Erro ao parar serviço: ") + erro.what());
    return 1;
  }
  return 0;
}
