#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "service/roteador.h"

namespace tarvex {

// A request body larger than this is refused with 413 and never held in memory.
inline constexpr std::size_t kTamanhoMaximoCorpo = 1024 * 1024;

// Raised when the listening socket cannot be bound, as when another process holds the port.
class ErroPortaEmUso : public std::runtime_error {
 public:
  explicit ErroPortaEmUso(int porta);
  int Porta() const { return porta_; }

 private:
  int porta_;
};

// The service's HTTP server: our router on cpp-httplib. Every answer carries the CORS headers,
// OPTIONS is answered 204 before any route, and requests are served by a pool of workers large
// enough that a request waiting on the scale does not hold up the others.
class ServidorHttp {
 public:
  // `pastaSwaggerUi` holds the Swagger UI files that the documentation page loads.
  explicit ServidorHttp(std::filesystem::path pastaSwaggerUi = PastaSwaggerUiPadrao());
  ~ServidorHttp();
  ServidorHttp(const ServidorHttp&) = delete;
  ServidorHttp& operator=(const ServidorHttp&) = delete;

  // Routes registered while the server listens take effect at its next listen.
  void Registrar(const std::string& metodo, const std::string& caminho, TratadorHttp tratador,
                 std::optional<OperacaoDocumentada> documentacao = std::nullopt);
  // Where the documented operations live; the document names them relative to it.
  void DefinirCaminhoBase(std::string caminho);
  // The documentation middleware: the viewer page, the document and the viewer's files.
  void AdicionarDocumentacao();

  // Binds 0.0.0.0:porta and serves from a thread of its own; a listener already running is
  // stopped first. Throws ErroPortaEmUso when the port cannot be bound.
  void Escutar(int porta);
  // Stops listening and returns once the listener and every request in progress have ended.
  // Does nothing when the server is not listening.
  void Parar();
  bool Escutando() const { return portaEscutada_ > 0; }
  int PortaEscutada() const { return portaEscutada_; }

  std::string DocumentoApi() const;

  static std::filesystem::path PastaSwaggerUiPadrao();

  // Everything that belongs to one listen; known only where the server is built.
  struct Escuta;

 private:
  void PararSemTrava();

  Roteador rotas_;
  const std::filesystem::path pastaSwaggerUi_;
  std::mutex ciclo_;
  std::unique_ptr<Escuta> escuta_;
  std::atomic<int> portaEscutada_{0};
};

// The handlers that the routes of the API run. A route whose handler is empty is not registered.
struct TratadoresApi {
  TratadorHttp ParamUpdate;
  TratadorHttp GetPeso;
  TratadorHttp GetBalanca;
  TratadorHttp GetWebhook;
  TratadorHttp GetService;
  TratadorHttp CadastrarBalanca;
  TratadorHttp CadastrarWebhook;
  TratadorHttp CadastrarService;
};

// The handlers that StartServer hands to InitializeAPIs; set them before StartServer runs.
void DefinirTratadoresApi(TratadoresApi tratadores);
TratadoresApi TratadoresApiDefinidos();

// Registers the middleware, the documentation, "/test" and the API's routes with their
// documentation, in that order.
void InitializeAPIs(ServidorHttp& servidor, const TratadoresApi& tratadores);

// Creates ServidorHTTP when missing and, for a port above 0, registers the routes and listens.
void StartServer(int porta);
// Stops the listener of ServidorHTTP, when it exists and listens; the object stays.
void StopServer();
// Moves the listener to `porta`. A port of 0 or less leaves the service without a listener; a
// port that cannot be bound ends the process.
void IniciarServidor(int porta);
// Moves the listener when the configured port differs from the one being served.
void VerificarPortaServidor();

}  // namespace tarvex
