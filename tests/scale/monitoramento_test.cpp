// The monitoring timer: it delivers what the scale sends by itself, never reads during a
// weight read, and runs only while monitoring is wanted on an active component.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scale/tvx_bal.h"
#include "tests/comum/apoio.h"
#include "tests/comum/simulador.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;
using teste::SimuladorBalancaTeste;

struct Aviso {
  double peso;
  std::string resposta;
  std::thread::id thread;
};

// Collects the reading events, which arrive on the timer's thread.
class Avisos {
 public:
  TTvxBALLePeso Receptor() {
    return [this](double peso, const std::string& resposta) {
      std::lock_guard trava(mutex_);
      avisos_.push_back({peso, resposta, std::this_thread::get_id()});
    };
  }
  std::size_t Quantos() {
    std::lock_guard trava(mutex_);
    return avisos_.size();
  }
  std::vector<Aviso> Copia() {
    std::lock_guard trava(mutex_);
    return avisos_;
  }

 private:
  std::mutex mutex_;
  std::vector<Aviso> avisos_;
};

void PrepararGenerica(TTvxBAL& bal, const std::string& porta) {
  bal.Modelo(TTvxBALModelo::balGenerica);
  bal.PosIni(4);
  bal.PosFim(7);
  bal.Porta(porta);
}

TEST(MonitoramentoTest, EntregaOQueABalancaEnviaSozinhaEParaAoDesativar) {
  SimuladorBalancaTeste simulador({"--pty", "--peso", "4.75", "--continuo", "60"});
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  Avisos avisos;
  bal.OnLePeso(avisos.Receptor());
  bal.Intervalo(30);
  bal.MonitorarBalanca(true);
  bal.Ativar();
  ASSERT_TRUE(teste::EsperarAte([&] { return avisos.Quantos() >= 3; }, 5s));
  for (const auto& aviso : avisos.Copia()) {
    EXPECT_NE(aviso.thread, std::this_thread::get_id());
    EXPECT_DOUBLE_EQ(aviso.peso, 4.75);
    EXPECT_EQ(aviso.resposta.substr(0, 15), "PS   4.750 kg\r\n");
  }
  EXPECT_EQ(simulador.Requisicoes(), 0);  // monitoring never asks

  bal.Desativar();
  std::size_t aoDesativar = avisos.Quantos();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(avisos.Quantos(), aoDesativar);
}

TEST(MonitoramentoTest, SoCorreComMonitoramentoPedidoEIntervaloPositivo) {
  SimuladorBalancaTeste simulador({"--tcp", "0", "--peso", "1", "--continuo", "50"});
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  Avisos avisos;
  bal.OnLePeso(avisos.Receptor());
  bal.Intervalo(20);
  bal.Ativar();
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(avisos.Quantos(), 0u);  // not wanted
  bal.Intervalo(0);
  bal.MonitorarBalanca(true);
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(avisos.Quantos(), 0u);  // no period
  bal.Intervalo(20);
  EXPECT_TRUE(teste::EsperarAte([&] { return avisos.Quantos() >= 1; }, 5s));
}

TEST(MonitoramentoTest, NenhumTickLeDuranteUmLePeso) {
  SimuladorBalancaTeste simulador({"--pty", "--peso", "2.5", "--continuo", "20"});
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  std::mutex mutex;
  std::vector<std::pair<std::thread::id, std::string>> linhas;
  bal.OnGravarLog([&](const std::string& linha, bool&) {
    std::lock_guard trava(mutex);
    linhas.emplace_back(std::this_thread::get_id(), linha);
  });
  Avisos avisos;
  bal.OnLePeso(avisos.Receptor());
  bal.Intervalo(10);
  bal.MonitorarBalanca(true);
  bal.Ativar();
  ASSERT_TRUE(teste::EsperarAte([&] { return avisos.Quantos() >= 2; }, 5s));
  for (int i = 0; i < 3; ++i) EXPECT_GE(bal.LePeso(1000), 0);
  EXPECT_TRUE(bal.MonitorarBalanca());
  ASSERT_TRUE(teste::EsperarAte([&] { return avisos.Quantos() >= 8; }, 5s));
  bal.Desativar();

  // From each request to its reading line, every log line is the weight read's own.
  std::lock_guard trava(mutex);
  const auto principal = std::this_thread::get_id();
  int leituras = 0;
  bool emLeitura = false;
  for (const auto& [thread, linha] : linhas) {
    if (thread == principal && linha.find(" TX -> ") != std::string::npos) emLeitura = true;
    if (emLeitura) {
      EXPECT_EQ(thread, principal) << linha;
    }
    if (thread == principal && linha.find("UltimoPesoLido") != std::string::npos) {
      emLeitura = false;
      ++leituras;
    }
  }
  EXPECT_EQ(leituras, 3);
  bool ticksLeram = false;
  for (const auto& [thread, linha] : linhas)
    ticksLeram |= thread != principal && linha.find(" RX <- ") != std::string::npos;
  EXPECT_TRUE(ticksLeram);
}

TEST(MonitoramentoTest, ErroNoTratadorDesligaOsTicksAteNovaConfiguracao) {
  SimuladorBalancaTeste simulador({"--tcp", "0", "--peso", "1", "--continuo", "30"});
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  std::atomic<int> chamadas = 0;
  bal.OnLePeso([&](double, const std::string&) {
    ++chamadas;
    throw std::runtime_error("falha do tratador");
  });
  bal.Intervalo(10);
  bal.MonitorarBalanca(true);
  bal.Ativar();
  ASSERT_TRUE(teste::EsperarAte([&] { return chamadas >= 1; }, 5s));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(chamadas, 1);
  bal.MonitorarBalanca(true);
  EXPECT_TRUE(teste::EsperarAte([&] { return chamadas >= 2; }, 5s));
}

TEST(MonitoramentoTest, TratadorPodeChamarOComponenteSemTravar) {
  SimuladorBalancaTeste simulador({"--tcp", "0", "--peso", "1", "--continuo", "30"});
  TTvxBAL bal;
  PrepararGenerica(bal, simulador.Porta());
  std::atomic<bool> desativou = false;
  bal.OnLePeso([&](double, const std::string&) {
    bal.Desativar();
    desativou = true;
  });
  bal.Intervalo(10);
  bal.MonitorarBalanca(true);
  bal.Ativar();
  EXPECT_TRUE(teste::EsperarAte([&] { return desativou.load(); }, 5s));
  EXPECT_FALSE(bal.Ativo());
}

}  // namespace
}  // namespace tarvex
