#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/regional.h"

namespace tarvex {

// A 32-bit signed integer: optional leading blanks, an optional sign, then decimal digits, or
// hexadecimal after "0x" (any case) or "$". Anything else, or a value out of range, fails.
std::optional<std::int32_t> LerInteiro(std::string_view texto);

// A real with an optional sign, digits, at most one `separadorDecimal` and an optional
// exponent, blanks allowed around it. Thousands separators or anything else make it fail.
std::optional<double> LerReal(std::string_view texto, char separadorDecimal);

// Removes the characters with codes 0 to 32 from both ends.
std::string Aparar(std::string_view texto);

// The general number format: the shortest form with up to 15 significant digits. The
// exponent form ("1E-6", "1,5E20") is used from 1E15 up and below 10^menorExpoenteFixo.
std::string FormatarGeral(double valor, char separadorDecimal, int menorExpoenteFixo = -5);

// The number patterns ",0.000" (decimais = 3) and ",0.0000" (decimais = 4): at least one
// integer digit, thousands grouped, a fixed count of decimals, the regional separators.
std::string FormatarNumero(double valor, int decimais, const Regional& regional);

// A moment on the local clock, down to the millisecond.
struct MomentoLocal {
  int ano = 0, mes = 0, dia = 0, hora = 0, minuto = 0, segundo = 0, milissegundo = 0;
};
MomentoLocal Agora();

// Formats a moment by a pattern of these parts: "dd" day, "mm" month, "yy" or "yyyy" year,
// "hh" hour (00-23), "nn" minutes, "ss" seconds, "zzz" milliseconds, in any case; "/" is the
// regional date separator and ":" the time separator; every other character stands as itself.
std::string FormatarDataHora(std::string_view padrao, const MomentoLocal& momento,
                             const Regional& regional);

}  // namespace tarvex
