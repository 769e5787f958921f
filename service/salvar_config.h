#pragma once

namespace tarvex {

// Each writes its one section of config.ini from its record and makes the running service
// follow it. A refused write raises ErroIni and leaves the file as it was.
void SalvarConfigBalanca();
void SalvarConfigWebHook();
void SalvarConfigService();

}  // namespace tarvex
