#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace tarvex {

// A record shared by every thread of the service. Readers take a whole copy, writers change it
// under the lock, so a text field is never read while another thread replaces it.
template <class T>
class Registro {
 public:
  T Copia() const {
    std::lock_guard trava(mutex_);
    return valor_;
  }

  template <class F>
  decltype(auto) Alterar(F&& alteracao) {
    std::lock_guard trava(mutex_);
    return std::forward<F>(alteracao)(valor_);
  }

  void Definir(T valor) {
    std::lock_guard trava(mutex_);
    valor_ = std::move(valor);
  }

 private:
  mutable std::mutex mutex_;
  T valor_{};
};

// A process-wide object that threads look up while another may replace it. Taking it gives a
// shared reference, so the object outlives every user; `Retirar` clears the global first and
// hands the object back for the caller to destroy afterwards.
template <class T>
class Global {
 public:
  std::shared_ptr<T> Obter() const {
    std::lock_guard trava(mutex_);
    return objeto_;
  }

  void Definir(std::shared_ptr<T> objeto) {
    std::lock_guard trava(mutex_);
    objeto_ = std::move(objeto);
  }

  std::shared_ptr<T> Retirar() {
    std::lock_guard trava(mutex_);
    return std::exchange(objeto_, nullptr);
  }

  explicit operator bool() const { return Obter() != nullptr; }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<T> objeto_;
};

}  // namespace tarvex
