#pragma once

#include <string>

namespace tarvex {

// The host around the start-up and shut-down sequences: the service in the foreground, and
// its registration as the systemd unit TarvexService.service.
inline constexpr const char* kNomeUnidade = "TarvexService";
inline constexpr const char* kDescricaoProduto =
    "Tarvex - liga a balança ao sistema: peso pela API HTTP, webhook e logs diários";

struct OpcoesHost {
  std::string executavel;  // absolute path of this program
  std::string pasta;       // folder of config.ini and Logs, as --dir gives it (may be empty)
  bool silencioso = false;
};

// The unit file for the executable and its folder.
std::string TextoUnidadeSystemd(const std::string& executavel, const std::string& pasta);

// Write, enable and start the unit (installing also starts the service), or stop, disable and
// remove it. Without a running systemd or the right to write the unit they change nothing and
// return a non-zero code with a clear message.
int InstalarServico(const OpcoesHost& opcoes);
int DesinstalarServico(const OpcoesHost& opcoes);

// Runs the service in the foreground until SIGTERM or SIGINT; SIGUSR1 pauses the monitors and
// SIGUSR2 lets them go on. Returns the process exit code.
int ExecutarServico();

}  // namespace tarvex
