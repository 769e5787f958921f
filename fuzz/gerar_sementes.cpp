// Writes the seed corpus of every fuzz target into the folder given: real frames of every model
// the simulator plays, the config.ini the service writes, the bodies its clients send.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "service/config.h"
#include "service/respostas.h"
#include "tools/simulador/quadros.h"

namespace {

using namespace tarvex;
using namespace tarvex::simulacao;
namespace fs = std::filesystem;

class Pasta {
 public:
  Pasta(const fs::path& raiz, const std::string& alvo) : caminho_(raiz / alvo) {
    fs::remove_all(caminho_);
    fs::create_directories(caminho_);
  }
  void Gravar(const std::string& bytes) {
    char nome[32];
    std::snprintf(nome, sizeof nome, "semente-%04d", contador_++);
    std::ofstream(caminho_ / nome, std::ios::binary)
        .write(bytes.data(), std::streamsize(bytes.size()));
  }

 private:
  fs::path caminho_;
  int contador_ = 0;
};

// The lines of a frame that the driver reads one at a time, without their line endings.
std::vector<std::string> LinhasDoQuadro(const std::string& quadro) {
  std::vector<std::string> linhas;
  std::string linha;
  for (char c : quadro) {
    if (c != '\r' && c != '\n') {
      linha += c;
    } else if (!linha.empty()) {
      linhas.push_back(linha);
      linha.clear();
    }
  }
  if (!linha.empty()) linhas.push_back(linha);
  return linhas;
}

// Model ordinal (high bit: comma as the decimal separator), then the frame: every frame kind of
// every simulated model, in every situation; a frame read line by line also gives each line.
void SementesDeInterpretacao(Pasta pasta) {
  const double pesos[] = {0, 0.005, 1.25, 12.5, 150.075, 999.995};
  const SituacaoBalanca situacoes[] = {SituacaoBalanca::Estavel, SituacaoBalanca::Instavel,
                                       SituacaoBalanca::Negativo, SituacaoBalanca::Sobrecarga};
  for (const auto& perfil : PerfisSimulados()) {
    std::vector<QuadroSimulado> tipos = {perfil.quadro};
    for (const auto& variante : perfil.variantes) tipos.push_back(variante.quadro);
    const auto ordinal = static_cast<char>(perfil.modelo);
    for (char virgula : {'\0', '\x80'}) {
      const std::string cabeca(1, static_cast<char>(ordinal | virgula));
      for (QuadroSimulado tipo : tipos)
        for (auto situacao : situacoes)
          for (double peso : pesos) {
            const auto quadro = tipo(situacao, peso);
            if (!quadro) continue;
            pasta.Gravar(cabeca + *quadro);
            if (perfil.emLinhas)
              for (const auto& linha : LinhasDoQuadro(*quadro)) pasta.Gravar(cabeca + linha);
          }
      pasta.Gravar(cabeca + QuadroLixo());
      pasta.Gravar(cabeca);
    }
  }
}

// The file text, then a 0x00 and the writes: key byte, length byte, value.
void SementesDeIni(Pasta pasta) {
  const std::string servico =
      "[Service]\nPorta=50994\nAtivarLog=S\nMonitorarBalancaManual=N\n"
      "IntervaloLeituraPesoMonitoraManual=500\nIntervaloPosEnvioPesoAPI=1500\n"
      "IntervaloVerificaBalanca=5000\nPeriodoArmazenamentoLog=15\n";
  const std::string completo = servico +
                               "\n[Balanca]\nIdBalanca=\"balança 1\"\nModelo=16\n"
                               "Porta=TCP:127.0.0.1:9600\nMargemToleranciaPesoKG=0,0029999\n"
                               "\n[Webhook]\nURL = http://127.0.0.1:8080/api \nToken='abc'\n";
  std::string crlf;
  for (char c : completo) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string escritas = std::string("\0", 1) + "\x02\x0bTCP:1.2.3.4" + "\x05\x04http" +
                               "\x03\x03"
                               "a\nb" +
                               "\x06\x00";
  for (const std::string& texto :
       {servico, completo, crlf, std::string("; só comentário\n[Vazia]\n\n[Service]\nPorta")}) {
    pasta.Gravar(texto);
    pasta.Gravar(texto + escritas);
  }
}

// Route byte (0 balanca, 1 webhook, 2 service), then the body.
void SementesDeCadastro(Pasta pasta) {
  TConfigBalanca balanca;
  balanca.IdBalanca = "balança 1";
  balanca.Modelo = 16;
  balanca.Porta = "TCP:127.0.0.1:9600";
  balanca.BaudRate = 9600;
  balanca.DataBits = 8;
  balanca.MargemToleranciaPesoKG = 0.0029999;
  balanca.PesoMinimoEnvioKG = 0.005;
  balanca.CaracterTerminator = "#13";
  TConfigWebHook webhook{"integração", "http://127.0.0.1:8080/api", "tok", "peso", "status"};
  TConfigService servico;
  servico.AtivarLog = true;
  servico.IntervaloVerificaBalanca = 5000;
  const std::string corpos[3] = {
      TBalancaResponse{balanca}.ToJSON().Escrever(FormaJson::ApiSimples),
      TWebhookResponse{webhook}.ToJSON().Escrever(FormaJson::ApiEscapada),
      TServiceResponse{servico}.ToJSON().Escrever(FormaJson::ApiEscapada)};
  const char* const variantes[] = {"{}",
                                   "[]",
                                   "",
                                   "{",
                                   "null",
                                   "\"texto\"",
                                   "{\"Modelo\":\"16\",\"BaudRate\":\"abc\"}",
                                   "{\"AtivarLog\":\"True\",\"IntervaloVerificaBalanca\":-5}",
                                   "{\"URL\":\"http://x\\n[Service]\\nPorta=1\"}",
                                   "{\"MargemToleranciaPesoKG\":1e400}",
                                   "{\"Modelo\":[[[1]]],\"Porta\":{\"a\":1}}",
                                   "{\"Token\":\"\xff\xfe\"}"};
  for (int rota = 0; rota < 3; ++rota) {
    const std::string cabeca(1, static_cast<char>(rota));
    pasta.Gravar(cabeca + corpos[rota]);
    for (const char* variante : variantes) pasta.Gravar(cabeca + variante);
  }
}

// Members: kind byte (0 text, 1 number, 2 integer, 3 logical), name length, name, value.
std::string Membro(int tipo, const std::string& nome, const std::string& valor) {
  std::string bytes(1, static_cast<char>(tipo));
  bytes += static_cast<char>(nome.size());
  bytes += nome;
  if (tipo == 0) bytes += static_cast<char>(valor.size());
  return bytes + valor;
}

template <class T>
std::string Bits(T valor) {
  std::string bytes(sizeof valor, '\0');
  std::memcpy(bytes.data(), &valor, sizeof valor);
  return bytes;
}

void SementesDeJsonEscrita(Pasta pasta) {
  pasta.Gravar(Membro(0, "versao", "1.0.0.0") + Membro(0, "idbalanca", "balança \"1\"") +
               Membro(1, "peso", Bits(1.25)) + Membro(1, "pesoAnterior", Bits(0.0)) +
               Membro(3, "compararPesoAnterior", "\x01") + Membro(0, "ocupacaoBalanca", "ocupado"));
  pasta.Gravar(Membro(2, "codigo", Bits<std::int64_t>(-9)) + Membro(0, "erro", "Peso instável"));
  pasta.Gravar(Membro(1, "a", Bits(1e-6)) + Membro(1, "b", Bits(0.00005)) +
               Membro(1, "c", Bits(1e15)) + Membro(1, "d", Bits(-0.0029999)) +
               Membro(1, "maior", Bits(std::numeric_limits<double>::max())) +
               Membro(1, "menor", Bits(std::numeric_limits<double>::denorm_min())));
  pasta.Gravar(Membro(0, "controle", std::string("\0\x01\b\t\n\f\r\x1f/\\", 11)) +
               Membro(0, "utf8", "\xc3\xa1\xe2\x82\xac\xf0\x9f\x98\x80") +
               Membro(0, "invalido", "\xc3\x28\xe0\x80\xed\xa0\x80\xf4\x90\x80\x80\xff"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Uso: gerar_sementes PASTA\n");
    return 2;
  }
  const fs::path raiz = argv[1];
  SementesDeInterpretacao(Pasta(raiz, "interpretacao"));
  SementesDeIni(Pasta(raiz, "ini"));
  SementesDeCadastro(Pasta(raiz, "cadastro"));
  SementesDeJsonEscrita(Pasta(raiz, "json_escrita"));
  return 0;
}
