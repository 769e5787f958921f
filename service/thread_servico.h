#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarvex {

// A service thread: created suspended, started by Start, asked to end by SolicitarTermino.
// Its sleeps wake at once on that request, so a stop never waits out a whole interval.
class ThreadServico {
 public:
  ThreadServico() = default;
  virtual ~ThreadServico() = default;
  ThreadServico(const ThreadServico&) = delete;
  ThreadServico& operator=(const ThreadServico&) = delete;

  void Start() {
    thread_ = std::thread([this] { Execute(); });
  }

  void SolicitarTermino() {
    {
      std::lock_guard trava(mutex_);
      terminar_ = true;
    }
    sinal_.notify_all();
  }

  // Requests the end and waits for Execute to return. From the thread itself (a pass that ends
  // the process) it does not wait: a thread never waits for itself.
  void Terminar() {
    SolicitarTermino();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();
    else
      thread_.join();
  }

 protected:
  virtual void Execute() = 0;

  bool Terminado() const {
    std::lock_guard trava(mutex_);
    return terminar_;
  }

  // Sleeps `milissegundos`; false when the end was requested meanwhile.
  bool Dormir(int milissegundos) {
    std::unique_lock trava(mutex_);
    return !sinal_.wait_for(trava, std::chrono::milliseconds(milissegundos < 0 ? 0 : milissegundos),
                            [this] { return terminar_; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable sinal_;
  bool terminar_ = false;
  std::thread thread_;
};

}  // namespace tarvex
