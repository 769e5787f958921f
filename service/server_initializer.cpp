#include "service/server_initializer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>
#include <thread>
#include <typeinfo>
#include <utility>
#include <vector>

#include "service/conexoes_http.h"
#include "service/config.h"
#include "service/estado.h"
#include "service/inicializar.h"
#include "service/logger.h"

namespace tarvex {

namespace {

// A worker per connection, so requests waiting on the scale, or clients that hold connections
// open, leave room for the others; past this many connections wait for a worker.
constexpr std::size_t kConexoesSimultaneas = 256;
// Each read and write must progress within its time-out, and a whole request arrive within its
// deadline, so a client that stalls or trickles frees its worker.
const LimitesConexao kLimitesConexao{};

const char* const kPastaDocumentacao = "/swagger/doc/";
const char* const kCaminhoDocumento = "/swagger/doc/json";
const char* const kCaminhoBaseApi = "/api/v1";

struct ArquivoSwaggerUi {
  const char* Nome;
  const char* Tipo;
};

const ArquivoSwaggerUi kArquivosSwaggerUi[] = {
    {"swagger-ui.css", "text/css"},
    {"swagger-ui-bundle.js", "application/javascript"},
    {"swagger-ui-standalone-preset.js", "application/javascript"},
    {"favicon-32x32.png", "image/png"},
    {"favicon-16x16.png", "image/png"},
};

httplib::Headers CabecalhosCors() {
  return {{"Access-Control-Allow-Origin", "*"},
          {"Access-Control-Allow-Credentials", "true"},
          {"Access-Control-Allow-Headers", "*"},
          {"Access-Control-Allow-Methods", "*"},
          {"Access-Control-Expose-Headers", "*"}};
}

std::string ChaveRota(const std::string& metodo, const std::string& caminho) {
  return metodo + ' ' + caminho;
}

std::string EscaparRegex(const std::string& texto) {
  std::string escapado;
  for (char letra : texto) {
    if (std::string_view("\\^$.|?*+()[]{}").find(letra) != std::string_view::npos) escapado += '\\';
    escapado += letra;
  }
  return escapado;
}

bool AnunciaCorpo(const httplib::Request& pedido) {
  return pedido.has_header("Transfer-Encoding") ||
         pedido.get_header_value<std::uint64_t>("Content-Length") > 0;
}

PedidoHttp ParaPedido(const httplib::Request& pedido, std::string corpo) {
  return {pedido.method, pedido.path, std::move(corpo)};
}

void Aplicar(const RespostaHttp& origem, httplib::Response& destino) {
  destino.status = origem.Status;
  for (const auto& [nome, valor] : origem.Cabecalhos) destino.set_header(nome, valor);
  if (origem.TipoConteudo.empty()) {
    destino.body = origem.Corpo;
  } else {
    destino.set_content(origem.Corpo, origem.TipoConteudo);
  }
}

bool BarrasRepetidas(const std::string& caminho) {
  return caminho.find("//") != std::string::npos;
}

std::string RecolherBarras(const std::string& caminho) {
  std::string recolhido;
  for (char letra : caminho) {
    if (letra != '/' || recolhido.empty() || recolhido.back() != '/') recolhido += letra;
  }
  return recolhido;
}

// The log names the viewer as "http://host:port//swagger/doc/html"; such paths are sent to their
// single-slash form, so the link works while routes stay exact.
RespostaHttp Redirecionar(const std::string& caminho) {
  RespostaHttp resposta = RespostaTexto(308, "Permanent Redirect");
  resposta.Cabecalhos.emplace_back("Location", RecolherBarras(caminho));
  return resposta;
}

std::string LerArquivoInteiro(const std::filesystem::path& caminho, bool& achou) {
  std::ifstream arquivo(caminho, std::ios::binary);
  achou = static_cast<bool>(arquivo);
  return {std::istreambuf_iterator<char>(arquivo), std::istreambuf_iterator<char>()};
}

void ServirArquivo(const std::filesystem::path& caminho, const char* tipo, RespostaHttp& resposta) {
  bool achou = false;
  std::string conteudo = LerArquivoInteiro(caminho, achou);
  if (!achou) {
    resposta = RespostaTexto(404, "Not Found");
    return;
  }
  resposta.Responder(200, std::move(conteudo), tipo);
}

void ResponderTeste(const PedidoHttp&, RespostaHttp& resposta) {
  resposta.Corpo = "Texto fixo retornado pelo servidor.";
}

}  // namespace

ErroPortaEmUso::ErroPortaEmUso(int porta)
    : std::runtime_error("A porta " + std::to_string(porta) + " já está em uso."), porta_(porta) {}

// One listen: the library's server, the routes whose bodies it reads and its serving thread.
struct ServidorHttp::Escuta {
  ServidorHttplib servidor{kLimitesConexao};
  std::set<std::string> rotasLidas;
  socket_t socketEscuta = INVALID_SOCKET;
  std::thread fio;
  std::atomic<bool> terminou{false};
};

namespace {

using RotasLidas = std::set<std::string>;

// A length that is not one plain decimal number leaves the end of the body unknown: what
// follows could only be guessed, and a guess would let a request hidden in the body run.
bool TamanhoInvalido(const httplib::Request& pedido) {
  const std::size_t quantos = pedido.get_header_value_count("Content-Length");
  if (quantos == 0) return false;
  const std::string valor = pedido.get_header_value("Content-Length");
  return quantos > 1 || valor.empty() || valor.find_first_not_of("0123456789") != std::string::npos;
}

bool CorpoAnunciadoExcede(const httplib::Request& pedido) {
  return pedido.get_header_value<std::uint64_t>("Content-Length") > kTamanhoMaximoCorpo;
}

bool LeCorpo(const RotasLidas& rotasLidas, const httplib::Request& pedido) {
  return MetodoComCorpo(pedido.method) && AnunciaCorpo(pedido) &&
         rotasLidas.count(ChaveRota(pedido.method, pedido.path)) > 0;
}

using ResultadoRota = httplib::Server::HandlerResponse;

// Runs before the body is read. Everything but a body that a route will read is answered here,
// so the library's own routing never sees such a request.
ResultadoRota Encaminhar(const Roteador& rotas, const RotasLidas& rotasLidas,
                         const httplib::Request& pedido, httplib::Response& resposta) {
  if (TamanhoInvalido(pedido)) {
    Aplicar(RespostaTexto(400, "Bad Request"), resposta);
    resposta.set_header("Connection", "close");
  } else if (pedido.method == "OPTIONS") {
    resposta.status = 204;
  } else if (BarrasRepetidas(pedido.path)) {
    Aplicar(Redirecionar(pedido.path), resposta);
  } else if (LeCorpo(rotasLidas, pedido)) {
    if (!CorpoAnunciadoExcede(pedido)) return ResultadoRota::Unhandled;
    // Refused before a byte of it is read; the connection closes with the body unread.
    Aplicar(RespostaTexto(413, "Payload Too Large"), resposta);
  } else {
    Aplicar(rotas.Atender(ParaPedido(pedido, {})), resposta);
  }
  // A body left unread would be taken for the next request on this connection.
  if (AnunciaCorpo(pedido)) resposta.set_header("Connection", "close");
  return ResultadoRota::Handled;
}

// The body is kept up to the limit; past it the reading stops, and the connection closes with
// the rest unread.
void LerCorpoEAtender(const Roteador& rotas, const httplib::Request& pedido,
                      httplib::Response& resposta, const httplib::ContentReader& leitor) {
  std::string corpo;
  bool excedeu = false;
  bool lido = leitor([&](const char* dados, std::size_t tamanho) {
    excedeu = corpo.size() + tamanho > kTamanhoMaximoCorpo;
    if (excedeu) {
      std::string().swap(corpo);
      return false;
    }
    corpo.append(dados, tamanho);
    return true;
  });
  if (excedeu || resposta.status == 413) {
    Aplicar(RespostaTexto(413, "Payload Too Large"), resposta);
    resposta.set_header("Connection", "close");
  } else if (!lido) {
    Aplicar(RespostaTexto(400, "Bad Request"), resposta);
  } else {
    Aplicar(rotas.Atender(ParaPedido(pedido, std::move(corpo))), resposta);
  }
}

// A client that asks before sending its body gets a refusal before it sends it.
int ResponderAntesDoCorpo(const Roteador& rotas, const RotasLidas& rotasLidas,
                          const httplib::Request& pedido, httplib::Response& resposta) {
  if (LeCorpo(rotasLidas, pedido) && !TamanhoInvalido(pedido)) {
    if (!CorpoAnunciadoExcede(pedido)) return 100;
    Aplicar(RespostaTexto(413, "Payload Too Large"), resposta);
  } else {
    Encaminhar(rotas, rotasLidas, pedido, resposta);
  }
  return resposta.status;
}

void RegistrarLeitura(httplib::Server& servidor, const std::string& metodo,
                      const std::string& caminho,
                      httplib::Server::HandlerWithContentReader tratador) {
  std::string padrao = EscaparRegex(caminho);
  if (metodo == "POST") servidor.Post(padrao, std::move(tratador));
  if (metodo == "PUT") servidor.Put(padrao, std::move(tratador));
  if (metodo == "PATCH") servidor.Patch(padrao, std::move(tratador));
  if (metodo == "DELETE") servidor.Delete(padrao, std::move(tratador));
}

void Configurar(ServidorHttp::Escuta& escuta) {
  httplib::Server& servidor = escuta.servidor;
  servidor.new_task_queue = [] { return new FilaDeConexoes(kConexoesSimultaneas); };
  // Only SO_REUSEADDR: the library's default SO_REUSEPORT would let a second service bind the
  // same port without an error, and the port-in-use failure would never be seen.
  servidor.set_socket_options([&escuta](socket_t socket) {
    int sim = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &sim, sizeof(sim));
    escuta.socketEscuta = socket;
  });
  servidor.set_tcp_nodelay(true);
  servidor.set_payload_max_length(kTamanhoMaximoCorpo);
  servidor.set_default_headers(CabecalhosCors());
}

}  // namespace

ServidorHttp::ServidorHttp(std::filesystem::path pastaSwaggerUi)
    : pastaSwaggerUi_(std::move(pastaSwaggerUi)) {}

ServidorHttp::~ServidorHttp() {
  Parar();
}

std::filesystem::path ServidorHttp::PastaSwaggerUiPadrao() {
  return CaminhoExecutavel().parent_path() / "swagger-ui";
}

void ServidorHttp::Registrar(const std::string& metodo, const std::string& caminho,
                             TratadorHttp tratador,
                             std::optional<OperacaoDocumentada> documentacao) {
  rotas_.Registrar(metodo, caminho, std::move(tratador), std::move(documentacao));
}

void ServidorHttp::DefinirCaminhoBase(std::string caminho) {
  rotas_.DefinirCaminhoBase(std::move(caminho));
}

std::string ServidorHttp::DocumentoApi() const {
  return GerarDocumentoSwagger({"ServiceTarvex", VersaoExecutavel()}, rotas_.CaminhoBase(),
                               rotas_.Documentadas());
}

void ServidorHttp::AdicionarDocumentacao() {
  Registrar("GET", std::string(kPastaDocumentacao) + "html",
            [](const PedidoHttp&, RespostaHttp& r) {
              r.Responder(200, PaginaSwaggerUi(kPastaDocumentacao, kCaminhoDocumento),
                          "text/html; charset=utf-8");
            });
  Registrar("GET", kCaminhoDocumento, [this](const PedidoHttp&, RespostaHttp& r) {
    r.Responder(200, DocumentoApi(), "application/json");
  });
  for (const ArquivoSwaggerUi& arquivo : kArquivosSwaggerUi) {
    std::filesystem::path caminho = pastaSwaggerUi_ / arquivo.Nome;
    Registrar("GET", kPastaDocumentacao + std::string(arquivo.Nome),
              [caminho, tipo = arquivo.Tipo](const PedidoHttp&, RespostaHttp& r) {
                ServirArquivo(caminho, tipo, r);
              });
  }
}

void ServidorHttp::Escutar(int porta) {
  if (porta <= 0 || porta > 65535) {
    throw std::invalid_argument("Porta inválida para o servidor HTTP: " + std::to_string(porta));
  }
  std::lock_guard trava(ciclo_);
  PararSemTrava();
  auto escuta = std::make_unique<Escuta>();
  Escuta& atual = *escuta;
  Configurar(atual);
  for (const auto& [metodo, caminho] : rotas_.RotasComCorpo()) {
    atual.rotasLidas.insert(ChaveRota(metodo, caminho));
    RegistrarLeitura(atual.servidor, metodo, caminho,
                     [this](const httplib::Request& pedido, httplib::Response& resposta,
                            const httplib::ContentReader& leitor) {
                       LerCorpoEAtender(rotas_, pedido, resposta, leitor);
                     });
  }
  atual.servidor.set_expect_100_continue_handler(
      [this, &atual](const httplib::Request& pedido, httplib::Response& resposta) {
        return ResponderAntesDoCorpo(rotas_, atual.rotasLidas, pedido, resposta);
      });
  atual.servidor.set_pre_routing_handler(
      [this, &atual](const httplib::Request& pedido, httplib::Response& resposta) {
        return Encaminhar(rotas_, atual.rotasLidas, pedido, resposta);
      });
  if (!atual.servidor.bind_to_port("0.0.0.0", porta)) throw ErroPortaEmUso(porta);
  // The library listens with a queue of 5; a burst of clients past it would wait a second for
  // their connection to be retried.
  ::listen(atual.socketEscuta, SOMAXCONN);
  atual.fio = std::thread([&atual] {
    atual.servidor.listen_after_bind();
    atual.terminou = true;
  });
  // The library's stop() acts only once the serving loop has begun; wait for it, so a stop
  // that follows at once is never lost.
  while (!atual.servidor.is_running() && !atual.terminou) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  escuta_ = std::move(escuta);
  portaEscutada_ = porta;
}

void ServidorHttp::Parar() {
  std::lock_guard trava(ciclo_);
  PararSemTrava();
}

void ServidorHttp::PararSemTrava() {
  if (!escuta_) return;
  portaEscutada_ = 0;
  escuta_->servidor.stop();
  escuta_->fio.join();
  escuta_.reset();
}

namespace {

Registro<TratadoresApi> TratadoresDaApi;

TipoDocumentado TipoPesoResponse() {
  return {"TPesoResponse", {{"Peso", TipoJson::Real}}};
}

TipoDocumentado TipoBalancaResponse() {
  return {"TBalancaResponse",
          {{"IdBalanca", TipoJson::Texto},
           {"Modelo", TipoJson::Inteiro},
           {"Porta", TipoJson::Texto},
           {"BaudRate", TipoJson::Inteiro},
           {"DataBits", TipoJson::Inteiro},
           {"Parity", TipoJson::Inteiro},
           {"StopBits", TipoJson::Inteiro},
           {"HandShake", TipoJson::Inteiro},
           {"AtivarLogTxt", TipoJson::Logico},
           {"MonitorarBalanca", TipoJson::Logico},
           {"IntervaloMonitorarMs", TipoJson::Inteiro},
           {"QtdTentativasLeituraErro", TipoJson::Inteiro},
           {"IntervaloTentativasLeitura", TipoJson::Inteiro},
           {"CompararPesoAnterior", TipoJson::Logico},
           {"MargemToleranciaPesoKG", TipoJson::Real},
           {"PesoMinimoEnvioKG", TipoJson::Real},
           {"TimeOutLePeso", TipoJson::Inteiro},
           {"Status", TipoJson::Texto},
           {"QtdConsistirPesoZeroMonitor", TipoJson::Inteiro},
           {"CaracterTerminator", TipoJson::Texto},
           {"Ocupacao", TipoJson::Texto}}};
}

TipoDocumentado TipoWebhookResponse() {
  return {"TWebhookResponse",
          {{"IdIntegracao", TipoJson::Texto},
           {"URL", TipoJson::Texto},
           {"Token", TipoJson::Texto},
           {"EndpointEnvioPeso", TipoJson::Texto},
           {"EndpointEnvioStatus", TipoJson::Texto}}};
}

TipoDocumentado TipoServiceResponse() {
  return {"TServiceResponse",
          {{"Versao", TipoJson::Texto},
           {"AtivarLog", TipoJson::Logico},
           {"MonitorarBalancaManual", TipoJson::Logico},
           {"IntervaloLeituraPesoMonitoraManual", TipoJson::Inteiro},
           {"IntervaloPosEnvioPesoAPI", TipoJson::Inteiro},
           {"IntervaloVerificaBalanca", TipoJson::Inteiro},
           {"PeriodoArmazenamentoLog", TipoJson::Inteiro}}};
}

struct RotaDaApi {
  const char* Metodo;
  const char* Caminho;
  TratadorHttp Tratador;
  OperacaoDocumentada Operacao;
};

std::vector<RotaDaApi> RotasDaApi(const TratadoresApi& t) {
  const TipoDocumentado peso = TipoPesoResponse(), balanca = TipoBalancaResponse(),
                        webhook = TipoWebhookResponse(), service = TipoServiceResponse();
  return {
      {"GET",
       "/api/v1/peso",
       t.GetPeso,
       {"Balança",
        "Obter Peso",
        "Retorna o peso lido da balança",
        std::nullopt,
        {{200, "Peso retornado com sucesso", peso}, {500, "Erro interno ao ler o peso", {}}}}},
      {"GET",
       "/api/v1/balanca",
       t.GetBalanca,
       {"Balança",
        "Obter Cadastro Balança",
        "Retorna o cadastro da balança",
        std::nullopt,
        {{200, "Cadastro da balança retornado com sucesso", balanca},
         {500, "Erro interno ao ler cadastro da balança", {}}}}},
      {"GET",
       "/api/v1/webhook",
       t.GetWebhook,
       {"Webhook",
        "Obter Cadastro WebHook",
        "Retorna o cadastro do WebHook",
        std::nullopt,
        {{200, "Cadastro do WebHook retornado com sucesso", webhook},
         {500, "Erro interno ao ler cadastro do WebHook", {}}}}},
      {"GET",
       "/api/v1/service",
       t.GetService,
       {"Service",
        "Obter Cadastro Service",
        "Retorna o cadastro do Service",
        std::nullopt,
        {{200, "Cadastro do Service retornado com sucesso", service},
         {500, "Erro interno ao ler cadastro do Service", {}}}}},
      {"POST",
       "/api/v1/balanca",
       t.CadastrarBalanca,
       {"Balança",
        "Cadastrar Balança",
        "Registra uma nova balança no sistema",
        ParametroCorpo{"Balanca data", "Dados para configurar o Balança", balanca},
        {{201, "Balança cadastrada com sucesso", balanca},
         {400, "Erro nos dados enviados", {}},
         {500, "Internal Server Error", {}}}}},
      {"POST",
       "/api/v1/webhook",
       t.CadastrarWebhook,
       {"Webhook",
        "Cadastrar WebHook",
        "Registra dados de acesso ao WebHook",
        ParametroCorpo{"Webhook data", "Dados para configurar o Webhook", webhook},
        {{201, "Webhook configurado com sucesso", {}}, {400, "Erro ao configurar o webhook", {}}}}},
      {"POST",
       "/api/v1/service",
       t.CadastrarService,
       {"Service",
        "Configurar Service",
        "Configuração do serviço",
        ParametroCorpo{"Service data", "Dados para configuração do serviço", service},
        {{201, "Serviço configurado com sucesso", {}}, {400, "Erro ao configurar o serviço", {}}}}},
  };
}

void EscreverFalhaPortaEmUso(int porta) {
  const std::string asteriscos(62, '*');
  GravarLog(asteriscos);
  GravarLog("********FALHA - SERVIÇO SERÁ FINALIZADO POR ESTE ERRO*********");
  GravarLog(std::string(62, '='));
  GravarLog("Falha ao iniciar o servidor: a porta " + std::to_string(porta) +
            " já está em uso. O serviço será encerrado. Para solucionar, altere a porta nas "
            "configurações ou finalize o processo que está ocupando essa porta e tente novamente.");
  GravarLog(asteriscos);
}

[[noreturn]] void EncerrarPorPortaEmUso(int porta) {
  EscreverFalhaPortaEmUso(porta);
  try {
    Finalizar();
  } catch (...) {
  }
  std::fflush(nullptr);
  // Exit code 1, not 0: a supervisor decides on restarts by it.
  std::_Exit(1);
}

void DesligarServidor(ServidorHttp& servidor, int porta) {
  servidor.Parar();
  PortaServRun = porta;
  PortaServAlterada = false;
  GravarLog("Servidor HTTP desligado: a porta " + std::to_string(porta) +
            " não é válida e nenhuma porta será escutada.");
}

}  // namespace

void DefinirTratadoresApi(TratadoresApi tratadores) {
  TratadoresDaApi.Definir(std::move(tratadores));
}

TratadoresApi TratadoresApiDefinidos() {
  return TratadoresDaApi.Copia();
}

void InitializeAPIs(ServidorHttp& servidor, const TratadoresApi& tratadores) {
  servidor.AdicionarDocumentacao();
  servidor.Registrar("GET", "/test", ResponderTeste);
  if (tratadores.ParamUpdate) servidor.Registrar("GET", "/paramupdate", tratadores.ParamUpdate);
  servidor.DefinirCaminhoBase(kCaminhoBaseApi);
  for (RotaDaApi& rota : RotasDaApi(tratadores)) {
    if (!rota.Tratador) continue;
    servidor.Registrar(rota.Metodo, rota.Caminho, std::move(rota.Tratador),
                       std::move(rota.Operacao));
  }
}

void StartServer(int porta) {
  auto servidor = ServidorHTTP.Obter();
  if (!servidor) {
    servidor = std::make_shared<ServidorHttp>();
    ServidorHTTP.Definir(servidor);
  }
  if (porta <= 0) return;
  InitializeAPIs(*servidor, TratadoresApiDefinidos());
  IniciarServidor(porta);
}

void StopServer() {
  if (auto servidor = ServidorHTTP.Obter()) servidor->Parar();
}

void IniciarServidor(int porta) {
  auto servidor = ServidorHTTP.Obter();
  if (!servidor) return;
  try {
    if (porta <= 0) {
      DesligarServidor(*servidor, porta);
      return;
    }
    servidor->Escutar(porta);
    PortaServRun = porta;
    PortaServAlterada = false;
  } catch (const ErroPortaEmUso& erro) {
    EncerrarPorPortaEmUso(erro.Porta());
  } catch (const std::exception& erro) {
    GravarLog(std::string(typeid(erro).name()) + ": " + erro.what());
  }
}

void VerificarPortaServidor() {
  int porta = ConfigService.Copia().Porta;
  if (porta != PortaServRun) IniciarServidor(porta);
}

}  // namespace tarvex
