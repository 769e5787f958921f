// SimuladorBalanca: plays one scale of a chosen model on a pseudo-terminal or a TCP port on
// loopback, for the demo and the end-to-end tests.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "base/conversoes.h"
#include "tools/simulador/simulador.h"

namespace {

using namespace tarvex;
using namespace tarvex::simulacao;

constexpr const char* kAjuda = R"(Uso: SimuladorBalanca --modelo N (--tcp PORTA | --pty) [opções]

Simula uma balança do modelo N (o número guardado em Modelo no config.ini) numa porta TCP
em 127.0.0.1 ou num pseudo-terminal. Quando pronto, escreve uma linha na saída padrão com o
texto de porta a usar, por exemplo:
  PORTA TCP:127.0.0.1:40123
  PORTA /dev/pts/5
Responde a cada pedido de peso do modelo com o quadro do peso e da situação atuais; os
modelos que transmitem sozinhos enviam o quadro a cada período. Os modelos que respondem
em várias linhas enviam a resposta em pedaços, 10 ms um do outro.

Opções:
  --modelo N            modelo simulado (padrão 16, balGenerica)
  --tcp PORTA           escuta em 127.0.0.1:PORTA; 0 escolhe uma porta livre
  --pty                 cria um pseudo-terminal e usa o lado escravo como porta serial
  --peso KG             peso inicial (padrão 0)
  --atraso MS           espera antes de cada resposta (padrão 0)
  --continuo MS         envia o quadro sozinho a cada MS (0 = só responde)
  --sobreposicao-fatal  termina com código 3 quando um pedido chega antes da resposta ao
                        anterior
  --help                mostra esta ajuda

Comandos na entrada padrão, um por linha; cada um é respondido com "OK ..." ou "ERRO ...":
  peso KG               muda o peso (ponto ou vírgula decimal)
  estavel | instavel | negativo | sobrecarga
                        muda a situação (e sai de silencio e lixo)
  silencio              deixa de responder e de transmitir
  lixo                  responde com bytes que nenhum protocolo entende
  protocolo NOME        muda o tipo de quadro, nos modelos que têm mais de um
                        (modelo 2: P03, B, C, A, Eth, P03-2casas, A-2casas; os dois
                        últimos trazem o aviso de duas casas decimais)
  enviar                envia o quadro atual agora, sem pedido
  bruto TEXTO           envia os bytes de TEXTO agora (\r, \n, \\ e \xNN valem o byte)
  continuo MS           passa a transmitir sozinho a cada MS (0 para)
  atraso MS             espera MS antes de cada resposta
  fechar                fecha as conexões (no pseudo-terminal: desliga a linha e cria outra,
                        cuja porta vem na resposta)
  derrubar              como fechar, mas a conexão TCP é reiniciada (RST)
  contagem              "OK contagem REQUISICOES n SOBREPOSICOES m CONEXOES c": pedidos
                        recebidos, pedidos chegados antes da resposta ao anterior e conexões
                        abertas (o pseudo-terminal conta como uma)
  sair                  termina

Termina também no fim da entrada padrão, em SIGTERM e em SIGINT.
)";

[[noreturn]] void ErroDeUso(const std::string& texto) {
  std::fprintf(stderr, "SimuladorBalanca: %s\nUse --help para ver as opções.\n", texto.c_str());
  std::exit(2);
}

int LerNumero(const std::string& opcao, const char* valor) {
  auto numero = valor ? LerInteiro(valor) : std::nullopt;
  if (!numero || *numero < 0) ErroDeUso("valor inválido para " + opcao);
  return *numero;
}

OpcoesSimulador LerOpcoes(int argc, char** argv) {
  OpcoesSimulador opcoes;
  for (int i = 1; i < argc; ++i) {
    std::string opcao = argv[i];
    const char* valor = i + 1 < argc ? argv[i + 1] : nullptr;
    if (opcao == "--help") {
      std::fputs(kAjuda, stdout);
      std::fputs("\nModelos simulados:", stdout);
      for (const auto& perfil : PerfisSimulados())
        std::printf(" %d", static_cast<int>(perfil.modelo));
      std::fputs("\n", stdout);
      std::exit(0);
    } else if (opcao == "--pty") {
      opcoes.pseudoTerminal = true;
    } else if (opcao == "--sobreposicao-fatal") {
      opcoes.sobreposicaoFatal = true;
    } else if (opcao == "--modelo") {
      auto modelo = ModeloDoOrdinal(LerNumero(opcao, valor));
      if (!modelo) ErroDeUso("modelo inexistente: " + std::string(valor));
      opcoes.modelo = *modelo;
      ++i;
    } else if (opcao == "--tcp") {
      opcoes.portaTcp = LerNumero(opcao, valor);
      if (opcoes.portaTcp > 65535) ErroDeUso("porta TCP inválida");
      ++i;
    } else if (opcao == "--peso") {
      auto peso = valor ? LerReal(valor, '.') : std::nullopt;
      if (!peso || *peso < 0) ErroDeUso("valor inválido para --peso");
      opcoes.peso = *peso;
      ++i;
    } else if (opcao == "--atraso") {
      opcoes.atrasoMs = LerNumero(opcao, valor);
      ++i;
    } else if (opcao == "--continuo") {
      opcoes.continuoMs = LerNumero(opcao, valor);
      ++i;
    } else {
      ErroDeUso("opção desconhecida: " + opcao);
    }
  }
  if (opcoes.pseudoTerminal == (opcoes.portaTcp >= 0)) ErroDeUso("use --tcp PORTA ou --pty");
  return opcoes;
}

}  // namespace

int main(int argc, char** argv) {
  OpcoesSimulador opcoes = LerOpcoes(argc, argv);
  const PerfilSimulado* perfil = PerfilSimuladoDe(opcoes.modelo);
  if (!perfil)
    ErroDeUso("o modelo " + std::to_string(static_cast<int>(opcoes.modelo)) +
              " ainda não é simulado");
  try {
    Simulador simulador(*perfil, opcoes);
    return simulador.Executar();
  } catch (const std::exception& erro) {
    std::fprintf(stderr, "SimuladorBalanca: %s\n", erro.what());
    return 1;
  }
}
