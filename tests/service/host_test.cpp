#include "service/host.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "tests/comum/apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

TEST(Host, UnidadeSystemdComExecutavelPastaEReinicioEmFalha) {
  EXPECT_EQ(TextoUnidadeSystemd("/opt/tarvex/ServiceTarvex", "/var/lib/tarvex dados"),
            "[Unit]\n"
            "Description=Tarvex - liga a balança ao sistema: peso pela API HTTP, webhook e logs "
            "diários\n"
            "After=network.target\n"
            "\n"
            "[Service]\n"
            "Type=simple\n"
            "ExecStart=\"/opt/tarvex/ServiceTarvex\" --dir \"/var/lib/tarvex dados\"\n"
            "Restart=on-failure\n"
            "RestartSec=5\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n");
  EXPECT_NE(TextoUnidadeSystemd("/opt/tarvex/ServiceTarvex", "").find("--dir \"/opt/tarvex\""),
            std::string::npos)
      << "without --dir the service keeps its files beside the executable";
}

TEST(Host, InstalarSemSystemdFalhaClaramenteENaoEscreveNada) {
  if (std::filesystem::is_directory("/run/systemd/system"))
    GTEST_SKIP() << "systemd runs this machine: installing would be real";
  const std::filesystem::path unidade = "/etc/systemd/system/TarvexService.service";
  ASSERT_FALSE(std::filesystem::exists(unidade));
  for (const char* acao : {"INSTALL", "UNINSTALL"}) {
    teste::Processo p({teste::Programa("ServiceTarvex"), acao});
    EXPECT_EQ(p.AguardarFim(5s), 1) << acao;
    EXPECT_NE(p.Saida().find("systemd não está em execução"), std::string::npos) << p.Saida();
    EXPECT_FALSE(std::filesystem::exists(unidade));
  }
  teste::Processo silencioso({teste::Programa("ServiceTarvex"), "INSTALL", "SILENT"});
  EXPECT_EQ(silencioso.AguardarFim(5s), 1);
  EXPECT_EQ(silencioso.Saida(), "");
}

TEST(Host, PausaEContinuacaoPorSinais) {
  teste::PastaTemporaria pasta;
  teste::GravarArquivo(pasta / "config.ini", "[Service]\nPorta=0\n");
  teste::Processo servico({teste::Programa("ServiceTarvex"), "--dir", pasta.Caminho().string()});
  auto log = [&] {
    std::error_code erro;
    for (const auto& e : std::filesystem::directory_iterator(pasta / "Logs", erro))
      return teste::LerArquivo(e.path());
    return std::string();
  };
  ASSERT_TRUE(teste::EsperarAte([&] { return log().find("Serviço Start") != std::string::npos; }));
  servico.Sinalizar(SIGUSR1);
  ASSERT_TRUE(
      teste::EsperarAte([&] { return log().find("Serviço Pausado") != std::string::npos; }));
  servico.Sinalizar(SIGUSR2);
  ASSERT_TRUE(
      teste::EsperarAte([&] { return log().find("Serviço Continue") != std::string::npos; }));
  servico.Sinalizar(SIGTERM);
  EXPECT_EQ(servico.AguardarFim(2s), 0);
}

}  // namespace
}  // namespace tarvex
