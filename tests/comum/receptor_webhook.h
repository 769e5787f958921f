#pragma once

#include <httplib.h>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/comum/apoio.h"

namespace tarvex::teste {

// One request as the receiver got it.
struct RequisicaoRecebida {
  std::string metodo;
  std::string alvo;  // as on the request line, before any decoding
  // As the server parsed them (it decodes %XX in the values), in name order.
  std::vector<std::pair<std::string, std::string>> cabecalhos;
  std::string corpo;
  // Over http, every byte of the request as it arrived: request line, headers in the order
  // sent, blank line and body. Empty over https.
  std::string bruto;
  std::chrono::steady_clock::time_point chegada;
};

// How the receiver answers one request.
struct RespostaReceptor {
  int status = 200;
  std::string corpo{};
  // Waits this long before answering.
  std::chrono::milliseconds atraso{0};
  // Never answers: keeps the connection open until the receiver is destroyed.
  bool pendurar = false;
  // Sends the body one byte at a time with this pause between bytes (0: all at once).
  std::chrono::milliseconds gotejamento{0};
};

// A webhook endpoint on 127.0.0.1, at a free port, that records every request and answers as
// told: by request path, else the default answer (200 with no body).
class ReceptorWebhook {
 public:
  enum class Transporte { Http, Https };

  explicit ReceptorWebhook(Transporte transporte = Transporte::Http);
  ~ReceptorWebhook();
  ReceptorWebhook(const ReceptorWebhook&) = delete;
  ReceptorWebhook& operator=(const ReceptorWebhook&) = delete;

  int Porta() const { return porta_; }
  // "http://127.0.0.1:<porta>" or "https://...".
  std::string Endereco() const;
  // For https: the PEM file of the receiver's self-signed certificate, for the client to trust.
  std::filesystem::path Certificado() const;

  void ResponderPadrao(RespostaReceptor resposta);
  void Responder(const std::string& caminho, RespostaReceptor resposta);
  // One answer per request, in turn; the last one stays for the requests after it.
  void Responder(const std::string& caminho, std::vector<RespostaReceptor> emSequencia);

  std::vector<RequisicaoRecebida> Recebidas() const;
  std::size_t Quantidade() const;

 private:
  void Atender(const httplib::Request& pedido, httplib::Response& resposta);
  // Sleeps up to `tempo`; false when the receiver is being destroyed.
  bool Aguardar(std::chrono::milliseconds tempo);

  std::unique_ptr<PastaTemporaria> pasta_;
  std::unique_ptr<httplib::Server> servidor_;
  std::string esquema_;
  int porta_ = 0;
  std::thread escuta_;

  mutable std::mutex mutex_;
  std::condition_variable encerrar_;
  bool encerrando_ = false;
  RespostaReceptor padrao_;
  std::map<std::string, std::deque<RespostaReceptor>> porCaminho_;
  std::vector<RequisicaoRecebida> recebidas_;
};

// A port on 127.0.0.1 where nothing listens: a connection is refused at once.
int PortaRecusada();

// A port on 127.0.0.1 that listens with a full accept queue: the connection handshake is never
// completed, so a client waits until its own connection time-out.
class PortaSemAceite {
 public:
  PortaSemAceite();
  ~PortaSemAceite();
  PortaSemAceite(const PortaSemAceite&) = delete;
  PortaSemAceite& operator=(const PortaSemAceite&) = delete;

  int Porta() const { return porta_; }

 private:
  int escuta_ = -1;
  std::vector<int> ocupantes_;
  int porta_ = 0;
};

}  // namespace tarvex::teste
