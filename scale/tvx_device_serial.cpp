#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "scale/tvx_device_canais.h"

namespace tarvex {
namespace {

struct Velocidade {
  int baud;
  speed_t constante;
};

constexpr Velocidade kVelocidades[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

speed_t ConstanteDaVelocidade(const TTvxDevice& config) {
  for (const auto& v : kVelocidades)
    if (v.baud == config.Baud()) return v.constante;
  throw ErroDispositivo("Velocidade " + std::to_string(config.Baud()) +
                        " não suportada pela porta " + config.Porta());
}

tcflag_t BitsDeDados(int data) {
  switch (data) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

tcflag_t BitsDeParidade(TTvxSerialParity paridade) {
  switch (paridade) {
    case TTvxSerialParity::pOdd:
      return PARENB | PARODD;
    case TTvxSerialParity::pEven:
      return PARENB;
    case TTvxSerialParity::pMark:
      return PARENB | CMSPAR | PARODD;
    case TTvxSerialParity::pSpace:
      return PARENB | CMSPAR;
    case TTvxSerialParity::pNone:
      break;
  }
  return 0;
}

void LevantarLinha(int fd, int linha) {
  ::ioctl(fd, TIOCMBIS, &linha);
}

class CanalSerial : public CanalDescritor {
 public:
  using CanalDescritor::CanalDescritor;

  void Configurar(const TTvxDevice& config) {
    termios modo{};
    if (::tcgetattr(Fd(), &modo) != 0) ErroSistema("Erro ao abrir a porta " + Porta(), errno);
    ::cfmakeraw(&modo);
    modo.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    modo.c_cflag |= CLOCAL | CREAD | BitsDeDados(config.Data()) | BitsDeParidade(config.Parity());
    if (config.Stop() != TTvxSerialStop::s1) modo.c_cflag |= CSTOPB;
    if (config.HardFlow()) modo.c_cflag |= CRTSCTS;
    modo.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (config.SoftFlow()) modo.c_iflag |= IXON | IXOFF;
    modo.c_cc[VMIN] = 0;
    modo.c_cc[VTIME] = 0;
    speed_t velocidade = ConstanteDaVelocidade(config);
    ::cfsetispeed(&modo, velocidade);
    ::cfsetospeed(&modo, velocidade);
    if (::tcsetattr(Fd(), TCSANOW, &modo) != 0)
      ErroSistema("Erro ao configurar a porta " + Porta(), errno);
    // Lines that a pseudo-terminal does not have are not an error.
    if (config.HandShake() == TTvxHandShake::hsRTS_CTS) LevantarLinha(Fd(), TIOCM_RTS);
    if (config.HandShake() == TTvxHandShake::hsDTR_DSR) LevantarLinha(Fd(), TIOCM_DTR);
  }
};

}  // namespace

std::unique_ptr<CanalDispositivo> AbrirCanalSerial(const std::string& caminho,
                                                   const TTvxDevice& config) {
  auto canal =
      std::make_unique<CanalSerial>(AbrirDescritorTravado(caminho, config.Porta()), config.Porta());
  canal->Configurar(config);
  return canal;
}

}  // namespace tarvex
