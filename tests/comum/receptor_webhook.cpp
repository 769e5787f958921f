#include "tests/comum/receptor_webhook.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace tarvex::teste {
namespace {

// A connection that is never answered is released after this, so no test can hang on it.
constexpr std::chrono::seconds kLimitePendurado{10};

// httplib adds the connection's addresses to the headers; the client never sent them.
bool EhCabecalhoDoServidor(const std::string& nome) {
  return nome == "REMOTE_ADDR" || nome == "REMOTE_PORT" || nome == "LOCAL_ADDR" ||
         nome == "LOCAL_PORT";
}

template <class T, void (*Liberar)(T*)>
struct Liberador {
  void operator()(T* p) const { Liberar(p); }
};
using ChaveEC = std::unique_ptr<EVP_PKEY, Liberador<EVP_PKEY, EVP_PKEY_free>>;
using CertificadoX509 = std::unique_ptr<X509, Liberador<X509, X509_free>>;

void Exigir(bool ok, const char* etapa) {
  if (!ok) throw std::runtime_error(std::string("certificado de teste: falha em ") + etapa);
}

void GravarPem(const std::filesystem::path& arquivo, const std::function<int(FILE*)>& escrever) {
  FILE* f = std::fopen(arquivo.c_str(), "wb");
  Exigir(f != nullptr, "abrir o arquivo PEM");
  const int ok = escrever(f);
  std::fclose(f);
  Exigir(ok == 1, "gravar o arquivo PEM");
}

// A self-signed certificate for 127.0.0.1 and localhost, valid for a day around now.
void GerarCertificado(const std::filesystem::path& certificado,
                      const std::filesystem::path& chave) {
  ChaveEC par(EVP_EC_gen("P-256"));
  Exigir(par != nullptr, "gerar a chave");
  CertificadoX509 x509(X509_new());
  Exigir(x509 != nullptr, "criar o certificado");
  X509_set_version(x509.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x509.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(x509.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(x509.get()), 24 * 3600);
  X509_set_pubkey(x509.get(), par.get());
  X509_NAME* nome = X509_get_subject_name(x509.get());
  X509_NAME_add_entry_by_txt(nome, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(x509.get(), nome);
  X509V3_CTX contexto;
  X509V3_set_ctx_nodb(&contexto);
  X509V3_set_ctx(&contexto, x509.get(), x509.get(), nullptr, nullptr, 0);
  for (auto [nid, valor] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                            std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* extensao = X509V3_EXT_conf_nid(nullptr, &contexto, nid, valor);
    Exigir(extensao != nullptr, "criar a extensao");
    X509_add_ext(x509.get(), extensao, -1);
    X509_EXTENSION_free(extensao);
  }
  Exigir(X509_sign(x509.get(), par.get(), EVP_sha256()) > 0, "assinar");
  GravarPem(certificado, [&](FILE* f) { return PEM_write_X509(f, x509.get()); });
  GravarPem(chave, [&](FILE* f) {
    return PEM_write_PrivateKey(f, par.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
}

sockaddr_in EnderecoLocal(int porta) {
  sockaddr_in endereco{};
  endereco.sin_family = AF_INET;
  endereco.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  endereco.sin_port = htons(static_cast<std::uint16_t>(porta));
  return endereco;
}

int PortaDoSocket(int s) {
  sockaddr_in endereco{};
  socklen_t tamanho = sizeof endereco;
  getsockname(s, reinterpret_cast<sockaddr*>(&endereco), &tamanho);
  return ntohs(endereco.sin_port);
}

// A plain socket stream that keeps every byte it hands to the server, so the handler can see the
// request exactly as it arrived (the server's own parsing decodes and sorts the headers).
class FluxoGravado : public httplib::Stream {
 public:
  explicit FluxoGravado(socket_t s) : s_(s) {}

  bool is_readable() const override { return Esperar(POLLIN); }
  bool is_writable() const override { return Esperar(POLLOUT); }

  ssize_t read(char* destino, std::size_t tamanho) override {
    if (!is_readable()) return -1;
    const ssize_t lidos = ::recv(s_, destino, tamanho, 0);
    if (lidos > 0) bruto_.append(destino, static_cast<std::size_t>(lidos));
    return lidos;
  }

  ssize_t write(const char* origem, std::size_t tamanho) override {
    if (!is_writable()) return -1;
    return ::send(s_, origem, tamanho, MSG_NOSIGNAL);
  }

  void get_remote_ip_and_port(std::string& ip, int& porta) const override {
    ip = "127.0.0.1";
    porta = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& porta) const override {
    ip = "127.0.0.1";
    porta = 0;
  }
  socket_t socket() const override { return s_; }

  const std::string& Bruto() const { return bruto_; }

 private:
  bool Esperar(short evento) const {
    pollfd descritor{s_, evento, 0};
    return ::poll(&descritor, 1, 5000) > 0;
  }

  socket_t s_;
  std::string bruto_;
};

// The stream of the request being handled on this thread.
thread_local const FluxoGravado* fluxoAtual = nullptr;

// httplib's server with its socket handling replaced by the recording stream: one request per
// connection, which is all the webhook client ever sends.
class ServidorGravador : public httplib::Server {
 private:
  bool process_and_close_socket(socket_t s) override {
    bool ok = false;
    {
      FluxoGravado fluxo(s);
      fluxoAtual = &fluxo;
      bool fechada = false;
      ok = process_request(fluxo, true, fechada, nullptr);
      fluxoAtual = nullptr;
    }
    ::shutdown(s, SHUT_RDWR);
    ::close(s);
    return ok;
  }
};

}  // namespace

ReceptorWebhook::ReceptorWebhook(Transporte transporte) {
  if (transporte == Transporte::Https) {
    pasta_ = std::make_unique<PastaTemporaria>();
    GerarCertificado(Certificado(), *pasta_ / "chave.pem");
    servidor_ = std::make_unique<httplib::SSLServer>(Certificado().c_str(),
                                                     (*pasta_ / "chave.pem").c_str());
    esquema_ = "https";
  } else {
    servidor_ = std::make_unique<ServidorGravador>();
    esquema_ = "http";
  }
  auto atender = [this](const httplib::Request& pedido, httplib::Response& resposta) {
    Atender(pedido, resposta);
  };
  servidor_->Post(".*", atender).Get(".*", atender).Put(".*", atender).Delete(".*", atender);
  porta_ = servidor_->bind_to_any_port("127.0.0.1");
  if (porta_ <= 0) throw std::runtime_error("receptor de webhook: porta indisponivel");
  escuta_ = std::thread([this] { servidor_->listen_after_bind(); });
  if (!EsperarAte([this] { return servidor_->is_running(); })) {
    servidor_->stop();
    escuta_.join();
    throw std::runtime_error("receptor de webhook: nao iniciou");
  }
}

ReceptorWebhook::~ReceptorWebhook() {
  {
    std::lock_guard trava(mutex_);
    encerrando_ = true;
  }
  encerrar_.notify_all();
  servidor_->stop();
  escuta_.join();
}

std::string ReceptorWebhook::Endereco() const {
  return esquema_ + "://127.0.0.1:" + std::to_string(porta_);
}

std::filesystem::path ReceptorWebhook::Certificado() const {
  return pasta_ ? *pasta_ / "certificado.pem" : std::filesystem::path();
}

void ReceptorWebhook::ResponderPadrao(RespostaReceptor resposta) {
  std::lock_guard trava(mutex_);
  padrao_ = std::move(resposta);
}

void ReceptorWebhook::Responder(const std::string& caminho, RespostaReceptor resposta) {
  Responder(caminho, std::vector{std::move(resposta)});
}

void ReceptorWebhook::Responder(const std::string& caminho,
                                std::vector<RespostaReceptor> emSequencia) {
  std::lock_guard trava(mutex_);
  porCaminho_[caminho].assign(emSequencia.begin(), emSequencia.end());
}

std::vector<RequisicaoRecebida> ReceptorWebhook::Recebidas() const {
  std::lock_guard trava(mutex_);
  return recebidas_;
}

std::size_t ReceptorWebhook::Quantidade() const {
  std::lock_guard trava(mutex_);
  return recebidas_.size();
}

bool ReceptorWebhook::Aguardar(std::chrono::milliseconds tempo) {
  std::unique_lock trava(mutex_);
  return !encerrar_.wait_for(trava, tempo, [this] { return encerrando_; });
}

void ReceptorWebhook::Atender(const httplib::Request& pedido, httplib::Response& resposta) {
  RequisicaoRecebida recebida{pedido.method,
                              pedido.target,
                              {},
                              pedido.body,
                              fluxoAtual ? fluxoAtual->Bruto() : std::string(),
                              std::chrono::steady_clock::now()};
  for (const auto& [nome, valor] : pedido.headers)
    if (!EhCabecalhoDoServidor(nome)) recebida.cabecalhos.emplace_back(nome, valor);
  RespostaReceptor escolhida;
  {
    std::lock_guard trava(mutex_);
    recebidas_.push_back(std::move(recebida));
    auto it = porCaminho_.find(pedido.path);
    if (it == porCaminho_.end() || it->second.empty()) {
      escolhida = padrao_;
    } else {
      escolhida = it->second.front();
      if (it->second.size() > 1) it->second.pop_front();
    }
  }
  if (escolhida.pendurar) Aguardar(kLimitePendurado);
  if (escolhida.atraso.count() > 0) Aguardar(escolhida.atraso);
  resposta.status = escolhida.status;
  if (escolhida.gotejamento.count() == 0) {
    resposta.set_content(escolhida.corpo, "text/plain");
    return;
  }
  resposta.set_content_provider(escolhida.corpo.size(), "text/plain",
                                [this, corpo = escolhida.corpo, intervalo = escolhida.gotejamento](
                                    std::size_t posicao, std::size_t, httplib::DataSink& saida) {
                                  if (posicao > 0 && !Aguardar(intervalo)) return false;
                                  return saida.write(corpo.data() + posicao, 1);
                                });
}

int PortaRecusada() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in endereco = EnderecoLocal(0);
  bind(s, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco);
  const int porta = PortaDoSocket(s);
  close(s);
  return porta;
}

PortaSemAceite::PortaSemAceite() {
  escuta_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in endereco = EnderecoLocal(0);
  if (bind(escuta_, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco) != 0 ||
      listen(escuta_, 0) != 0)
    throw std::runtime_error("porta sem aceite: nao escuta");
  porta_ = PortaDoSocket(escuta_);
  endereco = EnderecoLocal(porta_);
  // With a backlog of 0 one connection fills the queue; the others keep it full, since every
  // further handshake is dropped by the kernel until someone accepts.
  for (int i = 0; i < 3; ++i) {
    const int ocupante = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(ocupante, reinterpret_cast<sockaddr*>(&endereco), sizeof endereco);
    ocupantes_.push_back(ocupante);
  }
}

PortaSemAceite::~PortaSemAceite() {
  for (int ocupante : ocupantes_) close(ocupante);
  close(escuta_);
}

}  // namespace tarvex::teste
