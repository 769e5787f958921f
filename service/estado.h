#pragma once

#include <atomic>
#include <string>

#include "service/registro.h"

namespace tarvex {

class TBalancaService;
class TMonitorBalancaThread;
class TMonitorarPesoBalancaThread;
class ServidorHttp;

// Paths and the service name: set once by DefinirCaminhos, before any other thread exists.
extern std::string DirExe;
extern std::string DirLogs;
extern std::string ArqConfigINI;
extern std::string NomeServico;
// The folder that `--dir` names; empty means the executable's folder.
extern std::string DirConfigurado;

extern std::atomic<bool> ServicoPausado;
extern std::atomic<bool> LeituraEmAndamento;
extern std::atomic<int> PortaServRun;
extern std::atomic<bool> PortaServAlterada;

extern Global<ServidorHttp> ServidorHTTP;
extern Global<TBalancaService> BalancaService;
extern Global<TMonitorBalancaThread> MonitorBalanca;
extern Global<TMonitorarPesoBalancaThread> MonitorPeso;

}  // namespace tarvex
