#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "service/respostas.h"

namespace tarvex {

// Fixes DirExe, DirLogs and ArqConfigINI (from `--dir` when given) and creates the Logs folder.
void DefinirCaminhos();
std::filesystem::path CaminhoExecutavel();
std::string NomeExecutavel();
void GarantirPastaLogs();

void IniciarServico();
void Inicializar();
void CriarBalancaService();
void Finalizar();
// Re-reads config.ini and applies it: log, scale, manual monitor, report, port-change flag.
void RecarregarParametros();

void IniciarMonitorBalanca();
void PararMonitorBalanca();
// Starting waits 3 s first; stopping pauses the thread and waits 1 s before ending it.
void IniciarMonitorPeso();
void PararMonitorPeso();
void AplicarMonitoramentoManual();
bool MonitoramentoManualConfigurado();

void ExibirParametros(bool atualizacao);

void PausarServico();
void ContinuarServico();

std::string VersaoExecutavel();
std::string TextoStatusPeso(int codigo);
TAPIError CriarErroAPI(std::int32_t codigo);

}  // namespace tarvex
