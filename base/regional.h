#pragma once

namespace tarvex {

// The separators of the machine's regional settings. Every number and date text that a user
// or a scale sees takes its separators from here, never from the C library's locale.
struct Regional {
  char separadorDecimal = '.';
  char separadorMilhar = ',';
  char separadorData = '/';
  char separadorHora = ':';
};

// The value in force for the process. Set once at start-up; tests set it directly.
const Regional& RegionalAtual();
void DefinirRegional(const Regional& regional);

// Reads the separators from the process locale (setlocale(LC_ALL, "")) and then puts
// LC_NUMERIC back to "C", so no library's own number reading or writing changes under a
// comma locale.
Regional LerRegionalDoSistema();

}  // namespace tarvex
