// The model registry and the model selection of the component.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "scale/tvx_bal.h"

namespace tarvex {
namespace {

// config.ini stores the ordinal: every name must keep its number for ever.
TEST(RegistroModelosTest, CadaOrdinalTemSeuNomeESeuModeloStr) {
  const char* esperados[][3] = {
      {"balNenhum", "TTvxBALClass", "Generica"},
      {"balFilizola", "TTvxBALFilizola", "Filizola"},
      {"balToledo", "TTvxBALToledo", "Toledo"},
      {"balToledo2090", "TTvxBALToledo2090", "Toledo 2090"},
      {"balToledo2180", "TTvxBALToledo2180", "Toledo 2180"},
      {"balUrano", "TTvxBALUrano", "Urano"},
      {"balLucasTec", "TTvxBALLucasTec", "LucasTec"},
      {"balMagna", "TTvxBALMagna", "Magna"},
      {"balDigitron", "TTvxBALDigitron", "Digitron"},
      {"balMagellan", "TTvxBALMagellan", "Magellan"},
      {"balUranoPOP", "TTvxBALUranoPOP", "Urano"},
      {"balLider", "TTvxBALLider", "Lider"},
      {"balRinnert", "TTvxBALRinnert", "Rinnert"},
      {"balMuller", "TTvxBALMuller", "Muller"},
      {"balSaturno", "TTvxBALSaturno", "Saturno"},
      {"balAFTS", "TTvxBALAFTS", "AFTS"},
      {"balGenerica", "TTvxBALClass", "Generica"},
      {"balLibratek", "TTvxBALLibratek", "Libratek"},
      {"balMicheletti", "TTvxBALMicheletti", "Micheletti"},
      {"balAlfa", "TTvxBALAlfa", "Alfa"},
      {"balToledo9091_8530_8540", "TTvxBALToledo9091_8530_8540", "Toledo 9091 8530 8540"},
      {"balWeightechWT1000", "TTvxBALWeightechWT1000", "Weightech WT1000"},
      {"balMarelCG62XL", "TTvxBALMarelCG62XL", "Marel"},
      {"balWeightechWT3000_ABS", "TTvxBALWeightechWT3000_ABS", "Weightech WT3000_ABS"},
      {"balToledo2090N", "TTvxBALToledo2090N", "Toledo 2090N"},
      {"balToledoBCS21", "TTvxBALToledoBCS21", "Toledo BCS21"},
      {"balPrecision", "TTvxBALPrecision", "Precision"},
      {"balDigitron_UL", "TTvxBALDigitron_UL", "Digitron_UL"},
      {"balLibratekWT3000IR", "TTvxBALLibratekWT3000IR", "Libratek WT3000IR"},
      {"balToledoTi420", "TTvxBALToledoTi420", "Toledo Ti420"},
      {"balWeightechWT27R_ETH", "TTvxbalWeightechWT27R_ETH", "WeightechWT27R_ETH"},
      {"balCapital", "TTvxBALCapital", "Capital"},
      {"balMarte", "TTvxBALMarte", "Marte"},
      {"balLenkeLK2500", "TTvxBALLenkeLK2500", "Lenke LK2500"},
      {"balWeighTRUTest", "TTvxBALWeighTRUTest", "Weigh TRU-Test"},
      {"balUranoUDC", "TTvxBALUranoUDC", "UranoUDC"},
      {"balSiciliano", "TTvxBALSiciliano", "Siciliano"},
  };
  auto modelos = ModelosBalanca();
  ASSERT_EQ(modelos.size(), std::size(esperados));
  for (std::size_t i = 0; i < modelos.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(static_cast<std::size_t>(modelos[i].modelo), i);
    EXPECT_EQ(modelos[i].nome, esperados[i][0]);
    EXPECT_EQ(modelos[i].classe, esperados[i][1]);
    EXPECT_EQ(modelos[i].modeloStr, esperados[i][2]);
    EXPECT_EQ(ModeloDoOrdinal(static_cast<int>(i)), modelos[i].modelo);
  }
  EXPECT_FALSE(ModeloDoOrdinal(-1));
  EXPECT_FALSE(ModeloDoOrdinal(37));
}

TEST(RegistroModelosTest, ModeloComDriverCriaODriverQueReportaSeuModeloStr) {
  for (const auto& registro : ModelosBalanca()) {
    if (!registro.criar) continue;
    SCOPED_TRACE(registro.nome);
    TTvxBAL bal;
    bal.Modelo(registro.modelo);
    EXPECT_EQ(bal.Modelo(), registro.modelo);
    EXPECT_EQ(bal.ModeloStr(), registro.modeloStr);
  }
}

TEST(RegistroModelosTest, ModeloSemDriverERecusadoSemMudarNada) {
  for (const auto& registro : ModelosBalanca()) {
    if (registro.criar) continue;
    SCOPED_TRACE(registro.nome);
    TTvxBAL bal;
    bal.Device().Baud(4800);
    try {
      bal.Modelo(registro.modelo);
      ADD_FAILURE() << "aceitou um modelo sem driver";
    } catch (const ErroBalanca& erro) {
      EXPECT_EQ(std::string(erro.what()).rfind("Modelo de balança ainda não suportado: ", 0), 0u);
    }
    EXPECT_EQ(bal.Modelo(), TTvxBALModelo::balNenhum);
    EXPECT_EQ(bal.Device().Baud(), 4800);
  }
}

TEST(SelecaoModeloTest, TrocaGuardaLogEPosicoesEReiniciaASerial) {
  TTvxBAL bal;
  int chamadas = 0;
  bal.ArqLOG("/tmp/balanca.log");
  bal.OnGravarLog([&](const std::string&, bool& tratado) {
    ++chamadas;
    tratado = true;
  });
  bal.PosIni(6);
  bal.PosFim(4);
  TTvxDevice& device = bal.Device();
  device.Baud(4800);
  device.Data(7);
  device.Parity(TTvxSerialParity::pEven);
  device.Stop(TTvxSerialStop::s2);
  device.HandShake(TTvxHandShake::hsRTS_CTS);

  bal.Modelo(TTvxBALModelo::balNenhum);  // the same model: nothing happens
  EXPECT_EQ(device.Baud(), 4800);

  bal.Modelo(TTvxBALModelo::balGenerica);
  EXPECT_EQ(bal.ArqLOG(), "/tmp/balanca.log");
  EXPECT_EQ(bal.PosIni(), 6);
  EXPECT_EQ(bal.PosFim(), 4);
  ASSERT_TRUE(bal.OnGravarLog());
  bool tratado = false;
  bal.OnGravarLog()("linha", tratado);
  EXPECT_EQ(chamadas, 1);
  EXPECT_EQ(device.Baud(), 9600);
  EXPECT_EQ(device.Data(), 8);
  EXPECT_EQ(device.Parity(), TTvxSerialParity::pNone);
  EXPECT_EQ(device.Stop(), TTvxSerialStop::s1);
  EXPECT_EQ(device.HandShake(), TTvxHandShake::hsNenhum);
  EXPECT_FALSE(device.HardFlow());
}

TEST(SelecaoModeloTest, ComponenteAtivoRecusaATroca) {
  TTvxBAL bal;
  bal.Porta("NULL");
  bal.Ativar();
  try {
    bal.Modelo(TTvxBALModelo::balGenerica);
    ADD_FAILURE() << "trocou o modelo com o componente ativo";
  } catch (const ErroBalanca& erro) {
    EXPECT_STREQ(erro.what(), "Não é possível mudar o Modelo com TvxBAL Ativo");
  }
  EXPECT_EQ(bal.Modelo(), TTvxBALModelo::balNenhum);
}

TEST(SelecaoModeloTest, DriverSoNasceDeUmComponente) {
  try {
    TTvxBALClass driver(nullptr);
    ADD_FAILURE();
  } catch (const ErroBalanca& erro) {
    EXPECT_STREQ(erro.what(), "Essa Classe deve ser instanciada por TTvxBAL");
  }
}

TEST(SelecaoModeloTest, ComponenteNovoTemOsPadroes) {
  TTvxBAL bal;
  EXPECT_EQ(bal.Porta(), "COM1");
  EXPECT_EQ(bal.Device().TimeOut(), 1);
  EXPECT_EQ(bal.Intervalo(), 200);
  EXPECT_FALSE(bal.MonitorarBalanca());
  EXPECT_FALSE(bal.Ativo());
  EXPECT_EQ(bal.ModeloStr(), "Generica");
}

TEST(PrecoTest, ModeloSemPrecoFalhaComONomeDoModeloEVoltaAoEstadoAnterior) {
  TTvxBAL bal;
  bal.Porta("NULL");
  try {
    bal.EnviarPrecoKg(125000, 100);
    ADD_FAILURE();
  } catch (const ErroBalanca& erro) {
    EXPECT_STREQ(erro.what(), "Modelo Generica não possui essa funcionalidade");
  }
  EXPECT_FALSE(bal.Ativo());
}

}  // namespace
}  // namespace tarvex
