#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "service/config.h"
#include "service/estado.h"
#include "service/logger.h"
#include "service/server_initializer.h"
#include "tests/comum/apoio.h"
#include "tests/service/servidor_apoio.h"

namespace tarvex {
namespace {

// The listener as the service owns it: the process-wide server, its flags and a log in a
// folder of the test's own.
class PortaDoServidor : public ::testing::Test {
 protected:
  void SetUp() override {
    LogServico.Definir(std::make_shared<TLogger>(ldFile, (pasta.Caminho() / "").string(), ""));
    ServidorHTTP.Definir(std::make_shared<ServidorHttp>());
    InitializeAPIs(*ServidorHTTP.Obter(), TratadoresApi{});
  }

  void TearDown() override {
    ServidorHTTP.Retirar();
    LogServico.Retirar();
    PortaServRun = 0;
    PortaServAlterada = false;
  }

  void ConfigurarPorta(int porta) {
    ConfigService.Alterar([porta](TConfigService& c) { c.Porta = porta; });
    PortaServAlterada = true;
  }

  std::string Log() const {
    std::string texto;
    for (const auto& e : std::filesystem::directory_iterator(pasta.Caminho()))
      if (e.path().filename().string().ends_with("_Servico.log"))
        texto += teste::LerArquivo(e.path());
    return texto;
  }

  teste::PastaTemporaria pasta;
};

TEST_F(PortaDoServidor, MudancaDePortaMoveOuDesligaOServidor) {
  int primeira = teste::PortaLivre();
  IniciarServidor(primeira);
  EXPECT_EQ(PortaServRun, primeira);
  EXPECT_TRUE(teste::AceitaConexao(primeira));

  int segunda = teste::PortaLivre();
  ConfigurarPorta(segunda);
  VerificarPortaServidor();
  EXPECT_EQ(PortaServRun, segunda);
  EXPECT_FALSE(PortaServAlterada);
  EXPECT_TRUE(teste::AceitaConexao(segunda));
  EXPECT_FALSE(teste::AceitaConexao(primeira));

  IniciarServidor(70000);
  EXPECT_EQ(PortaServRun, segunda);
  EXPECT_NE(Log().find("Porta inválida para o servidor HTTP: 70000"), std::string::npos) << Log();

  ConfigurarPorta(0);
  VerificarPortaServidor();
  EXPECT_EQ(PortaServRun, 0);
  EXPECT_FALSE(PortaServAlterada);
  EXPECT_FALSE(ServidorHTTP.Obter()->Escutando());
  EXPECT_FALSE(teste::AceitaConexao(segunda));
  EXPECT_NE(Log().find("Servidor HTTP desligado: a porta 0 não é válida e nenhuma porta será "
                       "escutada."),
            std::string::npos)
      << Log();

  StopServer();
  ServidorHTTP.Retirar();
  StopServer();
}

TEST(ServidorHttpEscuta, SegundoServidorNaMesmaPortaFalha) {
  ServidorHttp primeiro, segundo;
  int porta = teste::PortaLivre();
  primeiro.Escutar(porta);
  EXPECT_THROW(segundo.Escutar(porta), ErroPortaEmUso);
  EXPECT_FALSE(segundo.Escutando());
  primeiro.Parar();
  segundo.Escutar(porta);
  EXPECT_TRUE(teste::AceitaConexao(porta));
}

TEST_F(PortaDoServidor, MudancaParaPortaOcupadaEncerraOProcesso) {
  ServidorHTTP.Retirar();
  int ocupada = teste::PortaLivre();
  teste::PortaOcupada outroPrograma(ocupada);
  // The serving threads start in the child alone, so the fork of the death test is safe.
  EXPECT_EXIT(
      {
        ServidorHTTP.Definir(std::make_shared<ServidorHttp>());
        IniciarServidor(teste::PortaLivre());
        IniciarServidor(ocupada);
      },
      ::testing::ExitedWithCode(1), "");
  std::string log = Log();
  EXPECT_NE(log.find("Falha ao iniciar o servidor: a porta " + std::to_string(ocupada) +
                     " já está em uso."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("********FALHA - SERVIÇO SERÁ FINALIZADO POR ESTE ERRO*********"),
            std::string::npos);
}

}  // namespace
}  // namespace tarvex
