// The simulator's frames read by the drivers, and the simulator as a program.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "scale/tvx_bal.h"
#include "tests/comum/apoio.h"
#include "tests/comum/simulador.h"
#include "tests/scale/apoio_balanca.h"
#include "tools/simulador/quadros.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using simulacao::PerfisSimulados;
using simulacao::SituacaoBalanca;
using teste::SimuladorBalancaTeste;

// Every frame the simulator plays must read, through its model's driver, as the weight or the
// code of its situation, under either decimal separator.
TEST(QuadrosSimuladosTest, CadaDriverLeOsQuadrosDoSeuModelo) {
  const SituacaoBalanca situacoes[] = {SituacaoBalanca::Estavel, SituacaoBalanca::Instavel,
                                       SituacaoBalanca::Negativo, SituacaoBalanca::Sobrecarga};
  for (char separador : {'.', ','}) {
    teste::RegionalDeTeste regional(separador);
    for (const auto& perfil : PerfisSimulados()) {
      // Read line by line, these frames are no single answer: the reads in lines check them.
      if (perfil.emLinhas) continue;
      TTvxBAL bal;
      bal.Modelo(perfil.modelo);
      bal.PosIni(perfil.posIni);
      bal.PosFim(perfil.posFim);
      for (auto situacao : situacoes) {
        for (double peso : {0.0, 1.25, 12.5, 150.005}) {
          auto quadro = perfil.quadro(situacao, peso);
          if (!quadro) continue;
          SCOPED_TRACE(RegistroDoModelo(perfil.modelo).nome);
          SCOPED_TRACE(*quadro);
          EXPECT_NEAR(bal.InterpretarRepostaPeso(*quadro), perfil.leitura(situacao, peso), 1e-9);
        }
      }
    }
  }
}

TEST(SimuladorProgramaTest, AjudaEOpcoesErradas) {
  teste::Processo ajuda({teste::Programa("SimuladorBalanca"), "--help"});
  EXPECT_EQ(ajuda.AguardarFim(5s), 0);
  EXPECT_NE(ajuda.Saida().find("Uso: SimuladorBalanca --modelo N (--tcp PORTA | --pty)"),
            std::string::npos);
  EXPECT_NE(ajuda.Saida().find("sobrecarga"), std::string::npos);

  teste::Processo semPorta({teste::Programa("SimuladorBalanca"), "--modelo", "16"});
  EXPECT_EQ(semPorta.AguardarFim(5s), 2);
  teste::Processo modeloInexistente(
      {teste::Programa("SimuladorBalanca"), "--modelo", "99", "--pty"});
  EXPECT_EQ(modeloInexistente.AguardarFim(5s), 2);
  EXPECT_NE(modeloInexistente.Saida().find("modelo inexistente"), std::string::npos);
}

TEST(SimuladorProgramaTest, ComandosRespondemOkOuErro) {
  SimuladorBalancaTeste simulador({"--pty"});
  EXPECT_EQ(simulador.Comando("peso 1,5"), "OK peso");
  EXPECT_EQ(simulador.Comando("peso abc"), "ERRO peso inválido: abc");
  EXPECT_EQ(simulador.Comando("atraso -1"), "ERRO milissegundos inválidos: -1");
  EXPECT_EQ(simulador.Comando("voar"), "ERRO comando desconhecido: voar");
  std::string fechou = simulador.Comando("fechar");
  EXPECT_EQ(fechou.rfind("OK fechar PORTA /dev/pts/", 0), 0u) << fechou;
}

TEST(SimuladorProgramaTest, TerminaNoFimDaEntradaENoSigterm) {
  SimuladorBalancaTeste porEntrada({"--tcp", "0"});
  porEntrada.FecharEntrada();
  EXPECT_EQ(porEntrada.AguardarFim(3s), 0);

  SimuladorBalancaTeste porSinal({"--pty", "--continuo", "50"});
  ::kill(porSinal.Pid(), SIGTERM);
  EXPECT_EQ(porSinal.AguardarFim(3s), 0);
}

// A client of our own that sends raw bytes, to put two requests on the wire at once.
int Conectar(const std::string& porta) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in endereco{};
  endereco.sin_family = AF_INET;
  endereco.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  endereco.sin_port =
      htons(static_cast<std::uint16_t>(std::stoi(porta.substr(porta.rfind(':') + 1))));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco) != 0) return -1;
  return fd;
}

TEST(SimuladorProgramaTest, ContaPedidosQueSeSobrepoem) {
  SimuladorBalancaTeste simulador({"--tcp", "0", "--atraso", "200"});
  int cliente = Conectar(simulador.Porta());
  ASSERT_GE(cliente, 0);
  ASSERT_EQ(::send(cliente, "\x05", 1, MSG_NOSIGNAL), 1);
  std::this_thread::sleep_for(300ms);  // answered: the next request does not overlap
  ASSERT_EQ(::send(cliente, "\x05", 1, MSG_NOSIGNAL), 1);
  std::this_thread::sleep_for(50ms);
  ASSERT_EQ(::send(cliente, "\x05", 1, MSG_NOSIGNAL), 1);
  ASSERT_TRUE(teste::EsperarAte([&] { return simulador.Requisicoes() == 3; }, 3s));
  EXPECT_EQ(simulador.Sobreposicoes(), 1);
  ::close(cliente);
}

TEST(SimuladorProgramaTest, SobreposicaoFatalEncerraComCodigo3) {
  SimuladorBalancaTeste simulador({"--tcp", "0", "--atraso", "500", "--sobreposicao-fatal"});
  int cliente = Conectar(simulador.Porta());
  ASSERT_GE(cliente, 0);
  ASSERT_EQ(::send(cliente, "\x05\x05", 2, MSG_NOSIGNAL), 2);
  EXPECT_EQ(simulador.AguardarFim(3s), 3);
  ::close(cliente);
}

TEST(SimuladorProgramaTest, BrutoEnviaOsBytesDecodificados) {
  SimuladorBalancaTeste simulador({"--tcp", "0"});
  TTvxBAL bal;
  bal.Porta(simulador.Porta());
  bal.Ativar();
  ASSERT_TRUE(teste::EsperarAte([&] { return simulador.Conexoes() == 1; }, 3s));
  ASSERT_EQ(simulador.Comando("bruto \\x02AB\\r\\n\\\\"), "OK bruto");
  ASSERT_TRUE(teste::EsperarAte([&] { return bal.Device().BytesParaLer() >= 6; }, 3s));
  EXPECT_EQ(bal.Device().LeString(500),
            "\x02"
            "AB\r\n\\");
}

}  // namespace
}  // namespace tarvex
