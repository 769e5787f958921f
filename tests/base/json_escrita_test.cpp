#include "base/json_escrita.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

namespace tarvex {
namespace {

struct CasoNumero {
  double valor;
  const char* webhook;
  const char* api;
};

TEST(NumeroJson, FormaGeralComOsDoisLimitesDeExpoente) {
  const CasoNumero casos[] = {
      {12.5, "12.5", "12.5"},
      {0, "0", "0"},
      {-0.0, "0", "0"},
      {3.025, "3.025", "3.025"},
      {-9, "-9", "-9"},
      {0.1 + 0.2, "0.3", "0.3"},
      {0.0029999, "0.0029999", "0.0029999"},
      {0.005, "0.005", "0.005"},
      {0.0001, "0.0001", "0.0001"},
      {0.00005, "0.00005", "5E-5"},
      {0.00001, "0.00001", "1E-5"},
      {0.000001, "1E-6", "1E-6"},
      {-0.0000015, "-1.5E-6", "-1.5E-6"},
      {123456789012345, "123456789012345", "123456789012345"},
      {1e15, "1E15", "1E15"},
      {1234.5678, "1234.5678", "1234.5678"},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.webhook);
    EXPECT_EQ(NumeroJson(caso.valor, FormaJson::Webhook), caso.webhook);
    EXPECT_EQ(NumeroJson(caso.valor, FormaJson::ApiEscapada), caso.api);
    EXPECT_EQ(NumeroJson(caso.valor, FormaJson::ApiSimples), caso.api);
  }
}

TEST(NumeroJson, ValorNaoFinitoViraNull) {
  for (double valor :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(NumeroJson(valor, FormaJson::Webhook), "null");
    EXPECT_EQ(NumeroJson(valor, FormaJson::ApiEscapada), "null");
  }
}

struct CasoTexto {
  const char* legenda;
  std::string entrada;
  std::string simples;  // Webhook and ApiSimples
  std::string escapada;
};

TEST(TextoJson, EscapesDeCadaForma) {
  const CasoTexto casos[] = {
      {"vazio", "", R"("")", R"("")"},
      {"acentos", "Peso instável", "\"Peso instável\"", R"("Peso inst\u00E1vel")"},
      {"BALANÇA", "BALANÇA: Serviço", "\"BALANÇA: Serviço\"", R"("BALAN\u00C7A: Servi\u00E7o")"},
      {"aspas, barras", R"(a/b"c\d)", R"("a\/b\"c\\d")", R"("a\/b\"c\\d")"},
      {"escapes curtos", "\b\t\n\f\r", R"("\b\t\n\f\r")", R"("\b\t\n\f\r")"},
      {"outros controles", std::string("\x01\x1F\0", 3), R"("\u0001\u001F\u0000")",
       R"("\u0001\u001F\u0000")"},
      {"DEL fica", "\x7F", "\"\x7F\"", "\"\x7F\""},
      {"euro", "\xE2\x82\xAC", "\"\xE2\x82\xAC\"", R"("\u20AC")"},
      {"fora do plano basico", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\"", R"("\uD83D\uDE00")"},
      {"maior codigo", "\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\"", R"("\uDBFF\uDFFF")"},
      {"byte invalido",
       "a\xFF"
       "b",
       "\"a\xEF\xBF\xBD"
       "b\"",
       R"("a\uFFFDb")"},
      {"sequencia cortada no fim", "a\xE2\x82", "\"a\xEF\xBF\xBD\"", R"("a\uFFFD")"},
      {"sequencia cortada no meio",
       "\xE2\x82"
       "A",
       "\"\xEF\xBF\xBD"
       "A\"",
       R"("\uFFFDA")"},
      {"forma longa", "\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\"", R"("\uFFFD\uFFFD")"},
      {"surrogate codificado", "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"",
       R"("\uFFFD\uFFFD\uFFFD")"},
      {"acima de U+10FFFF", "\xF4\x90\x80\x80",
       "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"", R"("\uFFFD\uFFFD\uFFFD\uFFFD")"},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.legenda);
    EXPECT_EQ(TextoJson(caso.entrada, FormaJson::Webhook), caso.simples);
    EXPECT_EQ(TextoJson(caso.entrada, FormaJson::ApiSimples), caso.simples);
    EXPECT_EQ(TextoJson(caso.entrada, FormaJson::ApiEscapada), caso.escapada);
  }
}

// Any bytes at all must give a text that a strict parser accepts; valid UTF-8 must come back
// unchanged, and the escaped form must be pure ASCII.
TEST(TextoJson, QualquerEntradaDaJsonValido) {
  std::mt19937 gerador(20240517);
  std::uniform_int_distribution<int> tamanho(0, 12), byte(0, 255), faixa(0, 3);
  for (int i = 0; i < 3000; ++i) {
    std::string entrada;
    for (int n = tamanho(gerador); n > 0; --n) {
      // Mostly bytes from the multi-byte ranges, so sequences are often close to valid.
      int b = byte(gerador);
      if (faixa(gerador) > 0) b = 0x80 | (b & 0x7F);
      if (faixa(gerador) == 0) b = "\xC3\xE2\xF0\xED\xF4"[b % 5] & 0xFF;
      entrada += static_cast<char>(b);
    }
    for (FormaJson forma : {FormaJson::Webhook, FormaJson::ApiEscapada, FormaJson::ApiSimples}) {
      const std::string texto = TextoJson(entrada, forma);
      nlohmann::json lido;
      ASSERT_NO_THROW(lido = nlohmann::json::parse(texto)) << texto;
      if (forma == FormaJson::ApiEscapada) {
        for (char c : texto) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << texto;
      }
      bool valido = true;
      try {
        (void)nlohmann::json(entrada).dump();
      } catch (const nlohmann::json::exception&) {
        valido = false;
      }
      if (valido) {
        EXPECT_EQ(lido.get<std::string>(), entrada);
      }
    }
  }
}

TEST(ObjetoJson, MembrosNaOrdemDadaSemEspacos) {
  ObjetoJson objeto;
  objeto.Texto("IdBalanca", "Balança/1")
      .Inteiro("Modelo", 3)
      .Inteiro("Negativo", -2147483648LL)
      .Numero("MargemToleranciaPesoKG", 0.0029999)
      .Numero("Minimo", 0.00005)
      .Logico("AtivarLogTxt", true)
      .Logico("MonitorarBalanca", false)
      .Texto("a\"b", "");
  EXPECT_EQ(objeto.Escrever(FormaJson::ApiEscapada),
            R"({"IdBalanca":"Balan\u00E7a\/1","Modelo":3,"Negativo":-2147483648,)"
            R"("MargemToleranciaPesoKG":0.0029999,"Minimo":5E-5,"AtivarLogTxt":true,)"
            R"("MonitorarBalanca":false,"a\"b":""})");
  EXPECT_EQ(objeto.Escrever(FormaJson::ApiSimples),
            R"({"IdBalanca":"Balança\/1","Modelo":3,"Negativo":-2147483648,)"
            R"("MargemToleranciaPesoKG":0.0029999,"Minimo":5E-5,"AtivarLogTxt":true,)"
            R"("MonitorarBalanca":false,"a\"b":""})");
  EXPECT_EQ(objeto.Escrever(FormaJson::Webhook),
            R"({"IdBalanca":"Balança\/1","Modelo":3,"Negativo":-2147483648,)"
            R"("MargemToleranciaPesoKG":0.0029999,"Minimo":0.00005,"AtivarLogTxt":true,)"
            R"("MonitorarBalanca":false,"a\"b":""})");
}

TEST(ObjetoJson, ObjetoVazio) {
  EXPECT_EQ(ObjetoJson().Escrever(FormaJson::Webhook), "{}");
}

}  // namespace
}  // namespace tarvex
