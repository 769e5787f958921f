// The files of a running ServiceTarvex change under it: config.ini turned read-only, deleted
// or replaced with garbage, the Logs folder deleted. Saves refuse or go on as the file allows,
// lines that cannot be written are lost quietly, and the service goes on serving.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "base/ini.h"
#include "tests/robustez/servico_apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

const char* const kWebhook =
    R"({"IdIntegracao":"int","URL":"http://127.0.0.1:1","Token":"t","EndpointEnvioPeso":"peso"})";
const char* const kService =
    R"({"AtivarLog":true,"IntervaloLeituraPesoMonitoraManual":700,"IntervaloVerificaBalanca":200})";

class FalhasDeArquivos : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(servico_.Pronto()) << servico_.Proc().Saida(); }

  httplib::Result Postar(const std::string& rota, const std::string& corpo) {
    return servico_.Cliente().Post(rota, corpo, "application/json");
  }

  Json Obter(const std::string& rota) {
    auto r = servico_.Cliente().Get(rota);
    EXPECT_TRUE(r && r->status == 200) << rota;
    return r ? Json::parse(r->body, nullptr, false) : Json();
  }

  teste::ServicoEmTeste servico_{
      "IntervaloVerificaBalanca=200\n[Balanca]\nQtdTentativasLeituraErro=1\n"
      "IntervaloTentativasLeitura=10\n[Outra]\nChave=valor\n"};
};

TEST_F(FalhasDeArquivos, ConfigSomenteLeituraRecusaOSalvamento) {
  const std::string antes = teste::LerArquivo(servico_.Config());
  std::filesystem::permissions(
      servico_.Config(), std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  auto r = Postar("/api/v1/webhook", kWebhook);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 500);
  EXPECT_NE(Json::parse(r->body).value("erro", "").find("somente leitura"), std::string::npos)
      << r->body;
  EXPECT_EQ(teste::LerArquivo(servico_.Config()), antes);
  EXPECT_EQ(Obter("/api/v1/webhook").value("Token", ""), "t") << "the record keeps the values";

  std::filesystem::permissions(servico_.Config(), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  r = Postar("/api/v1/webhook", kWebhook);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 201);
}

TEST_F(FalhasDeArquivos, ConfigApagadoVoltaComASecaoSalva) {
  std::filesystem::remove(servico_.Config());
  auto r = Postar("/api/v1/webhook", kWebhook);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 201) << r->body;
  ArquivoIni ini(servico_.Config());
  EXPECT_TRUE(ini.Existe());
  EXPECT_EQ(ini.LerTexto("Webhook", "URL", ""), "http://127.0.0.1:1");
  EXPECT_EQ(Obter("/api/v1/service").value("IntervaloVerificaBalanca", 0), 200)
      << "what was loaded stays in force";
  EXPECT_EQ(Postar("/api/v1/service", kService)->status, 201);
  EXPECT_EQ(ArquivoIni(servico_.Config()).LerInteiro("Service", "IntervaloVerificaBalanca", 0),
            200);
}

// Garbage around the sections the service needs: the reader skips what is not a key, a save
// keeps every byte it did not write, and a reload reads the keys among the garbage.
TEST_F(FalhasDeArquivos, ConfigComLixoELidoESalvoSemPerderNada) {
  std::string lixo;
  for (int i = 0; i < 4096; ++i) lixo += static_cast<char>((i * 7919) % 256);
  const std::string porta = "Porta=" + std::to_string(servico_.Porta());
  teste::GravarArquivo(servico_.Config(), lixo + "\n[Service]\n" + porta + "\nAtivarLog=S\n" +
                                              "IntervaloVerificaBalanca=abc\n[" + lixo + "\n");
  auto r = Postar("/api/v1/service", kService);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 201) << r->body;
  const std::string salvo = teste::LerArquivo(servico_.Config());
  EXPECT_EQ(salvo.find(lixo), 0u) << "the bytes before the section are kept";
  EXPECT_NE(salvo.find("IntervaloVerificaBalanca=200"), std::string::npos);

  auto recarga = servico_.Cliente().Get("/paramupdate");
  ASSERT_TRUE(recarga);
  EXPECT_EQ(recarga->status, 200);
  const Json service = Obter("/api/v1/service");
  EXPECT_EQ(service.value("IntervaloLeituraPesoMonitoraManual", 0), 700);
  EXPECT_EQ(service.value("AtivarLog", false), true);
  EXPECT_TRUE(servico_.LogTem("PARÂMETROS ATUALIZADOS"));
  EXPECT_EQ(servico_.Cliente().Get("/test")->status, 200) << "still on its port";
}

// The log lines written while the folder is missing are lost; nothing else is, and the log goes
// on once the folder is back.
TEST_F(FalhasDeArquivos, PastaDeLogsApagadaPerdeLinhasSemParar) {
  std::filesystem::remove_all(servico_.Pasta() / "Logs");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Postar("/api/v1/service", kService)->status, 201);
    EXPECT_EQ(servico_.Cliente().Get("/api/v1/peso")->status, 500);
    EXPECT_EQ(servico_.Cliente().Get("/paramupdate")->status, 200);
  }
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(servico_.Vivo());
  EXPECT_FALSE(std::filesystem::exists(servico_.Pasta() / "Logs"));

  std::filesystem::create_directory(servico_.Pasta() / "Logs");
  EXPECT_EQ(Postar("/api/v1/service", kService)->status, 201);
  EXPECT_TRUE(teste::EsperarAte([&] { return servico_.LogTem("PARÂMETROS ATUALIZADOS"); }));
}

}  // namespace
}  // namespace tarvex
