#include "base/regional.h"

#include <langinfo.h>
#include <clocale>
#include <string_view>

namespace tarvex {
namespace {

Regional regionalAtual;

// The first character of a strftime pattern that is neither a conversion nor alphanumeric:
// "%d/%m/%Y" gives '/', "%H:%M:%S" gives ':'.
char SeparadorDoPadrao(std::string_view padrao, char seNenhum) {
  for (std::size_t i = 0; i < padrao.size(); ++i) {
    char c = padrao[i];
    if (c == '%') {
      ++i;
      continue;
    }
    if (c != ' ' && !(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z'))
      return c;
  }
  return seNenhum;
}

}  // namespace

const Regional& RegionalAtual() {
  return regionalAtual;
}

void DefinirRegional(const Regional& regional) {
  regionalAtual = regional;
}

Regional LerRegionalDoSistema() {
  Regional r;
  std::setlocale(LC_ALL, "");
  if (const std::lconv* lc = std::localeconv()) {
    if (lc->decimal_point && lc->decimal_point[0]) r.separadorDecimal = lc->decimal_point[0];
    if (lc->thousands_sep && lc->thousands_sep[0] &&
        static_cast<unsigned char>(lc->thousands_sep[0]) < 128)
      r.separadorMilhar = lc->thousands_sep[0];
    else
      r.separadorMilhar = r.separadorDecimal == ',' ? '.' : ',';
  }
  r.separadorData = SeparadorDoPadrao(nl_langinfo(D_FMT), '/');
  r.separadorHora = SeparadorDoPadrao(nl_langinfo(T_FMT), ':');
  std::setlocale(LC_NUMERIC, "C");
  return r;
}

}  // namespace tarvex
