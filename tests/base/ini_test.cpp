#include "base/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/comum/apoio.h"

namespace tarvex {
namespace {

using teste::GravarArquivo;
using teste::LerArquivo;
using teste::PastaTemporaria;

TEST(ArquivoIni, LeituraSegueAsRegrasDoArquivoDePerfil) {
  PastaTemporaria pasta;
  GravarArquivo(pasta / "config.ini",
                "; comentário\n"
                "[SERVICE]\n"
                "  porta =  8080  \n"
                "Nome=\"  com aspas  \"\n"
                "Simples='x'\n"
                "Meia=\"aberta\n"
                "Vazio=\n"
                "Porta=9999\n"
                "[Balanca]\n"
                "Porta=COM3\n");
  ArquivoIni ini(pasta / "config.ini");
  EXPECT_TRUE(ini.Existe());
  EXPECT_EQ(ini.LerTexto("Service", "PORTA", "x"), "8080");
  EXPECT_EQ(ini.LerInteiro("service", "Porta", 1), 8080);
  EXPECT_EQ(ini.LerTexto("Service", "Nome", ""), "  com aspas  ");
  EXPECT_EQ(ini.LerTexto("Service", "Simples", ""), "x");
  EXPECT_EQ(ini.LerTexto("Service", "Meia", ""), "\"aberta");
  EXPECT_EQ(ini.LerTexto("Service", "Vazio", "padrao"), "");
  EXPECT_EQ(ini.LerTexto("Service", "Falta", "padrao"), "padrao");
  EXPECT_EQ(ini.LerTexto("Outra", "Porta", "padrao"), "padrao");
  EXPECT_EQ(ini.LerTexto("Balanca", "porta", ""), "COM3");
  EXPECT_EQ(ini.LerInteiro("Service", "Vazio", 7), 7);
  EXPECT_EQ(ini.LerInteiro("Service", "Nome", 7), 7);
}

TEST(ArquivoIni, ValorLidoAte2047Caracteres) {
  PastaTemporaria pasta;
  GravarArquivo(pasta / "c.ini", "[S]\nK=" + std::string(3000, 'a') + "\n");
  EXPECT_EQ(ArquivoIni(pasta / "c.ini").LerTexto("S", "K", "").size(), 2047u);
}

TEST(ArquivoIni, EscritaTrocaNoLugarEMantemOQueNaoToca) {
  PastaTemporaria pasta;
  GravarArquivo(pasta / "config.ini",
                "; mantido\n"
                "[Service]\n"
                "Porta=1\n"
                "Extra=fica\n"
                "\n"
                "[Balanca]\n"
                "Modelo=2\n");
  ArquivoIni ini(pasta / "config.ini");
  ini.EscreverTexto("SERVICE", "porta", "2");
  ini.EscreverTexto("Service", "Novo", "n");
  ini.EscreverTexto("Webhook", "URL", "http://x");
  ini.Salvar();
  EXPECT_EQ(LerArquivo(pasta / "config.ini"),
            "; mantido\n"
            "[Service]\n"
            "porta=2\n"
            "Extra=fica\n"
            "Novo=n\n"
            "\n"
            "[Balanca]\n"
            "Modelo=2\n"
            "\n"
            "[Webhook]\n"
            "URL=http://x\n");
}

TEST(ArquivoIni, QuebraDeLinhaNoValorERecusadaSemGravarNada) {
  PastaTemporaria pasta;
  const std::string original = "[Webhook]\r\nURL=a\r\n";
  GravarArquivo(pasta / "config.ini", original);
  ArquivoIni ini(pasta / "config.ini");
  EXPECT_THROW(ini.EscreverTexto("Webhook", "URL", "b\r\n[Service]\r\nPorta=1"), ErroIni);
  EXPECT_THROW(ini.EscreverTexto("Webhook", "Token", "x\ny"), ErroIni);
  ini.Salvar();
  EXPECT_EQ(LerArquivo(pasta / "config.ini"), original);
}

TEST(ArquivoIni, GravacaoAtomicaERecusaDeSomenteLeitura) {
  PastaTemporaria pasta;
  auto caminho = pasta / "config.ini";
  GravarArquivo(caminho, "[S]\r\nA=1\r\n");
  {
    ArquivoIni ini(caminho);
    ini.EscreverTexto("S", "B", "2");
    ini.Salvar();
  }
  EXPECT_EQ(LerArquivo(caminho), "[S]\r\nA=1\r\nB=2\r\n") << "keeps the file's line ends";
  std::size_t arquivos = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(pasta.Caminho()))
    ++arquivos;
  EXPECT_EQ(arquivos, 1u) << "no temporary file is left behind";

  ::chmod(caminho.c_str(), 0444);
  ArquivoIni ini(caminho);
  ini.EscreverTexto("S", "A", "mudou");
  EXPECT_THROW(ini.Salvar(), ErroIni);
  EXPECT_EQ(LerArquivo(caminho), "[S]\r\nA=1\r\nB=2\r\n");
}

TEST(ArquivoIni, ArquivoAusenteLeComoVazioENovoArquivoNaoComecaEmBranco) {
  PastaTemporaria pasta;
  ArquivoIni ini(pasta / "novo.ini");
  EXPECT_FALSE(ini.Existe());
  EXPECT_EQ(ini.LerInteiro("Service", "Porta", 50994), 50994);
  ini.EscreverInteiro("Service", "Porta", 50994);
  ini.Salvar();
  EXPECT_EQ(LerArquivo(pasta / "novo.ini"), "[Service]\nPorta=50994\n");
}

TEST(ArquivoIni, PastaInexistenteFalhaComErroClaro) {
  ArquivoIni ini("/nonexistent-folder/config.ini");
  ini.EscreverTexto("S", "A", "1");
  try {
    ini.Salvar();
    FAIL() << "expected ErroIni";
  } catch (const ErroIni& erro) {
    EXPECT_NE(std::string(erro.what()).find("/nonexistent-folder/config.ini"), std::string::npos);
  }
}

}  // namespace
}  // namespace tarvex
