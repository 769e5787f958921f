// The device channel: port texts, settings, the three reads, purging, and peers that go away.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "scale/tvx_device.h"
#include "tests/comum/apoio.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using Relogio = std::chrono::steady_clock;

long long MilissegundosDesde(Relogio::time_point inicio) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Relogio::now() - inicio).count();
}

// A pseudo-terminal pair: the device opens the slave as its serial port, the test plays the
// scale on the master.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    mestre_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (mestre_ < 0 || ::grantpt(mestre_) != 0 || ::unlockpt(mestre_) != 0)
      throw std::runtime_error("posix_openpt falhou");
    char nome[128];
    ::ptsname_r(mestre_, nome, sizeof nome);
    escravo_ = nome;
  }
  ~PseudoTerminal() { Fechar(); }
  const std::string& Escravo() const { return escravo_; }
  void Escrever(const std::string& bytes) const {
    ASSERT_EQ(::write(mestre_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string Ler() const {
    char bloco[256];
    ssize_t n = ::read(mestre_, bloco, sizeof bloco);
    return n > 0 ? std::string(bloco, static_cast<std::size_t>(n)) : std::string();
  }
  void Fechar() {
    if (mestre_ >= 0) ::close(mestre_);
    mestre_ = -1;
  }

 private:
  int mestre_ = -1;
  std::string escravo_;
};

// A TCP peer on loopback that accepts one connection.
class PeerTcp {
 public:
  PeerTcp() {
    ouvinte_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in endereco{};
    endereco.sin_family = AF_INET;
    endereco.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(ouvinte_, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco);
    ::listen(ouvinte_, 1);
    socklen_t tamanho = sizeof endereco;
    ::getsockname(ouvinte_, reinterpret_cast<sockaddr*>(&endereco), &tamanho);
    porta_ = "TCP:127.0.0.1:" + std::to_string(ntohs(endereco.sin_port));
  }
  ~PeerTcp() {
    Fechar(false);
    ::close(ouvinte_);
  }
  const std::string& Porta() const { return porta_; }
  void Aceitar() { conexao_ = ::accept(ouvinte_, nullptr, nullptr); }
  void Escrever(const std::string& bytes) const {
    ::send(conexao_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  void Fechar(bool reiniciar) {
    if (conexao_ < 0) return;
    if (reiniciar) {
      linger semEspera{1, 0};
      ::setsockopt(conexao_, SOL_SOCKET, SO_LINGER, &semEspera, sizeof semEspera);
    }
    ::close(conexao_);
    conexao_ = -1;
  }

 private:
  int ouvinte_ = -1;
  int conexao_ = -1;
  std::string porta_;
};

struct CasoPorta {
  const char* texto;
  const char* guardado;
  TTvxDeviceType tipo;
};

TEST(PortaTest, TextoDecideOTipoEComoFicaGuardado) {
  const CasoPorta casos[] = {
      {"tcp:10.0.0.5", "tcp:10.0.0.5", TTvxDeviceType::dtTCP},
      {"com3", "COM3", TTvxDeviceType::dtSerial},
      {"  lpt1 ", "LPT1", TTvxDeviceType::dtParallel},
      {"/dev/ttyUSB0", "/dev/ttyUSB0", TTvxDeviceType::dtSerial},
      {"\\\\.\\COM10", "\\\\.\\COM10", TTvxDeviceType::dtSerial},
      {"*", "*", TTvxDeviceType::dtRawPrinter},
      {"null", "null", TTvxDeviceType::dtNenhum},
      {"RAW:Impressora", "RAW:Impressora", TTvxDeviceType::dtRawPrinter},
      {"bth:balanca", "bth:balanca", TTvxDeviceType::dtBlueTooth},
      {"saida.txt", "saida.txt", TTvxDeviceType::dtFile},
      {"FILE:/tmp/saida", "FILE:/tmp/saida", TTvxDeviceType::dtFile},
      {"DLL:gancho", "DLL:gancho", TTvxDeviceType::dtHook},
      {"USB:lp0", "USB:lp0", TTvxDeviceType::dtUSB},
      {"\\\\?\\usb#vid_1234", "\\\\?\\usb#vid_1234", TTvxDeviceType::dtUSB},
      {"C:\\temp\\saida", "C:\\temp\\saida", TTvxDeviceType::dtFile},
      {"balanca", "balanca", TTvxDeviceType::dtNenhum},
      {"", "", TTvxDeviceType::dtNenhum},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.texto);
    TTvxDevice device;
    device.Porta(caso.texto);
    EXPECT_EQ(device.Porta(), caso.guardado);
    EXPECT_EQ(device.DeviceType(), caso.tipo);
  }
}

TEST(PortaTest, EnderecoTcpECaminhosDoSistema) {
  EnderecoTCP semPorta = LerEnderecoTCP("tcp:10.0.0.5");
  EXPECT_EQ(semPorta.host, "10.0.0.5");
  EXPECT_EQ(semPorta.porta, "9100");
  EnderecoTCP comPorta = LerEnderecoTCP("TCP:balanca.local:4001");
  EXPECT_EQ(comPorta.host, "balanca.local");
  EXPECT_EQ(comPorta.porta, "4001");
  EXPECT_EQ(LerEnderecoTCP("TCP:h:1234567").porta, "12345");  // at most 5 characters

  EXPECT_EQ(CaminhoDoDispositivo("COM3"), "/dev/ttyS2");
  EXPECT_EQ(CaminhoDoDispositivo("\\\\.\\COM10"), "/dev/ttyS9");
  EXPECT_EQ(CaminhoDoDispositivo("LPT1"), "/dev/lp0");
  EXPECT_EQ(CaminhoDoDispositivo("USB:lp0"), "/dev/usb/lp0");
  EXPECT_EQ(CaminhoDoDispositivo("/dev/ttyACM0"), "/dev/ttyACM0");
  EXPECT_EQ(CaminhoDoDispositivo("COM0"), "");
}

TEST(ConfiguracaoSerialTest, FaixasDeBaudEDataComOsTextosDoErro) {
  TTvxDevice device;
  for (int baud : {49, 4000001}) {
    try {
      device.Baud(baud);
      ADD_FAILURE() << baud;
    } catch (const ErroDispositivo& erro) {
      EXPECT_STREQ(erro.what(),
                   "Valor deve estar na faixa de 50 a 4000000.\nNormalmente os equipamentos "
                   "Seriais utilizam: 9600");
    }
  }
  for (int data : {4, 9}) {
    try {
      device.Data(data);
      ADD_FAILURE() << data;
    } catch (const ErroDispositivo& erro) {
      EXPECT_STREQ(erro.what(),
                   "Valor deve estar na faixa de 5 a 8.\nNormalmente os equipamentos Seriais "
                   "utilizam: 7 ou 8");
    }
  }
  EXPECT_EQ(device.Baud(), 9600);
  device.Baud(50);
  device.Baud(4000000);
  device.Data(5);
  EXPECT_EQ(device.Data(), 5);
  device.TimeOut(0);
  EXPECT_EQ(device.TimeOut(), 1);
}

TEST(ConfiguracaoSerialTest, DeviceToStringDescreveASerial) {
  TTvxDevice device;
  EXPECT_EQ(device.DeviceToString(false),
            "BAUD=9600 DATA=8 PARITY=N STOP=1 HANDSHAKE= MAXBANDWIDTH=0 SENDBYTESCOUNT=0 "
            "SENDBYTESINTERVAL=0");
  EXPECT_EQ(device.DeviceToString(true), "");
  device.Porta("TCP:127.0.0.1:9");  // the serial settings are described whatever the port
  device.Baud(4800);
  device.Data(7);
  device.Parity(TTvxSerialParity::pEven);
  device.Stop(TTvxSerialStop::s1eMeio);
  device.HandShake(TTvxHandShake::hsXON_XOFF);
  EXPECT_EQ(device.DeviceToString(false),
            "BAUD=4800 DATA=7 PARITY=E STOP=1,5 HANDSHAKE=XON/XOFF SOFTFLOW MAXBANDWIDTH=0 "
            "SENDBYTESCOUNT=0 SENDBYTESINTERVAL=0");
  EXPECT_EQ(device.DeviceToString(true),
            "BAUD=4800 DATA=7 PARITY=E STOP=1,5 HANDSHAKE=XON/XOFF SOFTFLOW");
  device.SetDefaultValues();
  EXPECT_EQ(device.DeviceToString(true), "");
}

TEST(AberturaTest, ErrosDeAberturaTrazemAPortaOuOTextoDoSistema) {
  struct Caso {
    const char* porta;
    const char* erro;
  } casos[] = {
      {"", "Porta não definida"},
      {"balanca", "Porta não definida"},
      {"/dev/ttyTarvexNaoExiste", "Porta /dev/ttyTarvexNaoExiste não encontrada"},
      {"COM250", "Porta COM250 não encontrada"},
      {"TCP:127.0.0.1:1", "Connection refused"},
      {"/dev/null", "Erro ao abrir a porta /dev/null"},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.porta);
    TTvxDevice device;
    device.Porta(caso.porta);
    try {
      device.Ativar();
      ADD_FAILURE() << "abriu";
    } catch (const ErroDispositivo& erro) {
      EXPECT_NE(std::string(erro.what()).find(caso.erro), std::string::npos) << erro.what();
    }
    EXPECT_FALSE(device.Ativo());
  }
}

TEST(AberturaTest, PortaNulaNaoEnviaNadaELeVazioNaHora) {
  TTvxDevice device;
  EXPECT_EQ(device.LeString(5000), "");  // no port set yet
  device.Porta("NULL");
  device.Ativar();
  device.EnviaString("qualquer coisa");
  auto inicio = Relogio::now();
  EXPECT_EQ(device.LeString(5000), "");
  EXPECT_EQ(device.LeString(5000, 3), "");
  EXPECT_LT(MilissegundosDesde(inicio), 100);
}

TEST(AberturaTest, ArquivoRecebeOQueEEnviadoENuncaResponde) {
  teste::PastaTemporaria pasta;
  TTvxDevice device;
  device.Porta("FILE:" + (pasta / "saida").string());
  device.Ativar();
  device.EnviaString("AB");
  device.EnviaString("C");
  auto inicio = Relogio::now();
  EXPECT_THROW(device.LeString(3000), ErroDispositivo);
  EXPECT_LT(MilissegundosDesde(inicio), 100);
  device.Desativar();
  EXPECT_EQ(teste::LerArquivo(pasta / "saida"), "ABC");
}

TEST(AberturaTest, PortaNaoMudaComODispositivoAtivo) {
  PseudoTerminal linha;
  TTvxDevice device;
  device.Porta(linha.Escravo());
  device.Ativar();
  try {
    device.Porta("COM2");
    ADD_FAILURE();
  } catch (const ErroDispositivo& erro) {
    EXPECT_STREQ(erro.what(), "Não é possível mudar a Porta com o Dispositivo Ativo");
  }
  EXPECT_EQ(device.Porta(), linha.Escravo());
}

TEST(AberturaTest, PortaAbertaPorOutroDispositivoEstaEmUso) {
  PseudoTerminal linha;
  TTvxDevice primeiro, segundo;
  primeiro.Porta(linha.Escravo());
  segundo.Porta(linha.Escravo());
  primeiro.Ativar();
  EXPECT_THROW(segundo.Ativar(), ErroDispositivo);
  primeiro.Desativar();
  EXPECT_NO_THROW(segundo.Ativar());
}

class LeituraSerialTest : public testing::Test {
 protected:
  void SetUp() override {
    device_.Porta(linha_.Escravo());
    device_.Ativar();
  }
  PseudoTerminal linha_;
  TTvxDevice device_;
};

TEST_F(LeituraSerialTest, EnviaOsBytesComoSao) {
  device_.EnviaString(std::string("\x05\r\n\x00\xff", 5));
  std::string recebido;
  ASSERT_TRUE(teste::EsperarAte([&] {
    recebido += linha_.Ler();
    return recebido.size() >= 5;
  }));
  EXPECT_EQ(recebido, std::string("\x05\r\n\x00\xff", 5));
}

TEST_F(LeituraSerialTest, QuantidadeDevolveExatamenteOsBytesPedidos) {
  linha_.Escrever("ABCDEF");
  EXPECT_EQ(device_.LeString(1000, 4), "ABCD");
  EXPECT_EQ(device_.LeString(1000, 2), "EF");
  auto inicio = Relogio::now();
  EXPECT_THROW(device_.LeString(100, 1), ErroDispositivo);
  EXPECT_GE(MilissegundosDesde(inicio), 90);
}

TEST_F(LeituraSerialTest, TerminadorGuardaORestoParaALeituraSeguinte) {
  linha_.Escrever("L1\rL2\rL3");
  EXPECT_EQ(device_.LeString(1000, 0, "\r"), "L1");
  EXPECT_EQ(device_.LeString(1000, 0, "\r"), "L2");
  EXPECT_THROW(device_.LeString(100, 0, "\r"), ErroDispositivo);
}

TEST_F(LeituraSerialTest, TerminadorReiniciaOPrazoACadaChegada) {
  std::jthread escritor([&] {
    for (const char* parte : {"A", "B", "C", "\r"}) {
      std::this_thread::sleep_for(150ms);
      linha_.Escrever(parte);
    }
  });
  // 600 ms in all, never more than 150 ms without a byte: a 400 ms time-out holds, with room
  // for a busy machine's late wake-ups.
  EXPECT_EQ(device_.LeString(400, 0, "\r"), "ABC");
}

TEST_F(LeituraSerialTest, SemFormaDevolveOQueChegouEEsgotaSemNada) {
  linha_.Escrever("XYZ");
  EXPECT_EQ(device_.LeString(1000), "XYZ");
  auto inicio = Relogio::now();
  EXPECT_THROW(device_.LeString(150), ErroDispositivo);
  EXPECT_GE(MilissegundosDesde(inicio), 140);
  EXPECT_LT(MilissegundosDesde(inicio), 1000);
}

TEST_F(LeituraSerialTest, LimparDescartaOsBytesGuardados) {
  linha_.Escrever("A\rB");
  EXPECT_EQ(device_.LeString(1000, 0, "\r"), "A");
  ASSERT_TRUE(teste::EsperarAte([&] { return device_.BytesParaLer() == 1; }, 2s));
  device_.Limpar();
  EXPECT_EQ(device_.BytesParaLer(), 0);
  linha_.Escrever("C");
  EXPECT_EQ(device_.LeString(1000), "C");
}

TEST_F(LeituraSerialTest, LinhaQueSomeEUmErroNaLeituraNaoUmaEspera) {
  linha_.Fechar();
  auto inicio = Relogio::now();
  EXPECT_THROW(device_.LeString(3000), ErroDispositivo);
  EXPECT_LT(MilissegundosDesde(inicio), 1000);
}

TEST(LeituraTcpTest, PeerQueFechaDuranteALeituraEUmErroImediato) {
  PeerTcp peer;
  TTvxDevice device;
  device.Porta(peer.Porta());
  device.Ativar();
  peer.Aceitar();
  peer.Escrever("123");
  EXPECT_EQ(device.LeString(1000), "123");
  std::thread fecha([&] {
    std::this_thread::sleep_for(150ms);
    peer.Fechar(false);
  });
  auto inicio = Relogio::now();
  EXPECT_THROW(device.LeString(5000), ErroDispositivo);
  EXPECT_LT(MilissegundosDesde(inicio), 2000);
  fecha.join();
  EXPECT_THROW(device.EnviaString("x"), ErroDispositivo);
}

TEST(LeituraTcpTest, EnvioParaPeerReiniciadoFalhaSemDerrubarOProcesso) {
  PeerTcp peer;
  TTvxDevice device;
  device.Porta(peer.Porta());
  device.Ativar();
  peer.Aceitar();
  peer.Fechar(true);
  std::this_thread::sleep_for(50ms);
  EXPECT_THROW(
      {
        device.EnviaString("primeiro");
        device.EnviaString("segundo");
      },
      ErroDispositivo);
  EXPECT_THROW(device.LeString(100), ErroDispositivo);
}

TEST(BuscaDePortasTest, ListaOsDispositivosQueAbremEmOrdemESemOsOcupados) {
  namespace fs = std::filesystem;
  teste::PastaTemporaria pasta;
  PseudoTerminal ttyS0, ttyUSB0, ttyS1;
  fs::create_directories(pasta / "sys/ttyS0/device");
  fs::create_directories(pasta / "sys/ttyS1/device");
  fs::create_directories(pasta / "sys/ttyS3");  // no device behind it
  fs::create_directories(pasta / "sys/ttyUSB0/device");
  fs::create_directories(pasta / "sys/ttyUSB1/device");   // no node in dev
  fs::create_directories(pasta / "sys/ttyACM70/device");  // beyond the last port
  fs::create_directories(pasta / "dev");
  fs::create_symlink(ttyS0.Escravo(), pasta / "dev/ttyS0");
  fs::create_symlink(ttyS1.Escravo(), pasta / "dev/ttyS1");
  fs::create_symlink(ttyUSB0.Escravo(), pasta / "dev/ttyUSB0");
  fs::create_symlink(ttyUSB0.Escravo(), pasta / "dev/ttyACM70");
  std::string sys = (pasta / "sys").string(), dev = (pasta / "dev").string();

  EXPECT_EQ(ListarPortasSeriais(sys, dev, 64),
            (std::vector<std::string>{dev + "/ttyS0", dev + "/ttyS1", dev + "/ttyUSB0"}));
  EXPECT_EQ(ListarPortasSeriais(sys, dev, 1),
            (std::vector<std::string>{dev + "/ttyS0", dev + "/ttyUSB0"}));

  TTvxDevice ocupante;
  ocupante.Porta(ttyS1.Escravo());
  ocupante.Ativar();
  EXPECT_EQ(ListarPortasSeriais(sys, dev, 64),
            (std::vector<std::string>{dev + "/ttyS0", dev + "/ttyUSB0"}));
}

}  // namespace
}  // namespace tarvex
