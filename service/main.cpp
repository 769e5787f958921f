#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/regional.h"
#include "service/estado.h"
#include "service/host.h"
#include "service/inicializar.h"

namespace {

void MostrarAjuda() {
  std::puts(
      "Uso: ServiceTarvex [--dir PASTA] [INSTALL | UNINSTALL] [SILENT]\n"
      "\n"
      "Liga uma balança ao resto do sistema: lê o peso pela porta serial ou TCP,\n"
      "serve-o por uma API HTTP e envia pesos e estados a um webhook.\n"
      "\n"
      "  --dir PASTA   pasta de config.ini e de Logs (por omissão, a do executável)\n"
      "  INSTALL       instala o serviço systemd TarvexService.service e o inicia\n"
      "  UNINSTALL     para, desabilita e remove o serviço systemd\n"
      "  SILENT        sem mensagens na instalação e na remoção\n"
      "  --help        mostra esta ajuda\n"
      "  --version     mostra a versão\n"
      "\n"
      "Sem INSTALL nem UNINSTALL, o serviço corre em primeiro plano até SIGTERM ou\n"
      "SIGINT; SIGUSR1 pausa os monitores e SIGUSR2 os retoma.");
}

std::string ExecutavelAtual(const char* argv0) {
  std::error_code erro;
  auto caminho = std::filesystem::read_symlink("/proc/self/exe", erro);
  return erro ? std::filesystem::absolute(argv0).string() : caminho.string();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tarvex;
  enum class Acao { Executar, Instalar, Desinstalar } acao = Acao::Executar;
  OpcoesHost opcoes;
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
      opcoes.pasta = std::filesystem::absolute(DirConfigurado).string();
    } else if (arg == "INSTALL") {
      acao = Acao::Instalar;
    } else if (arg == "UNINSTALL") {
      acao = Acao::Desinstalar;
    } else if (arg == "SILENT") {
      opcoes.silencioso = true;
    } else {
      std::fprintf(stderr, "ServiceTarvex: opção desconhecida: %s (veja --help)\n", argv[i]);
      return 2;
    }
  }
  opcoes.executavel = ExecutavelAtual(argv[0]);
  switch (acao) {
    case Acao::Instalar:
      return InstalarServico(opcoes);
    case Acao::Desinstalar:
      return DesinstalarServico(opcoes);
    case Acao::Executar:
      break;
  }
  DefinirRegional(LerRegionalDoSistema());
  return ExecutarServico();
}
