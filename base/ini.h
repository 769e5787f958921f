#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// An error of an INI file that the caller should report: a value that would break the file,
// a file that cannot be written.
class ErroIni : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// config.ini as private-profile files behave: section and key names match without regard to
// case, blanks and one pair of quotes around a value are dropped when read, a value is read up
// to 2047 characters. Writes change the text in memory; `Salvar` replaces the file atomically
// and keeps every line it did not touch.
class ArquivoIni {
 public:
  static constexpr std::size_t kTamanhoMaximoValor = 2047;

  // Reads the file; a missing or unreadable file reads as empty.
  explicit ArquivoIni(std::filesystem::path caminho);

  bool Existe() const { return existe_; }
  const std::filesystem::path& Caminho() const { return caminho_; }

  // The value of the key, or `padrao` when the section or the key is missing.
  std::string LerTexto(std::string_view secao, std::string_view chave,
                       std::string_view padrao) const;
  // The key's integer, or `padrao` when it is missing, empty or not an integer.
  std::int32_t LerInteiro(std::string_view secao, std::string_view chave,
                          std::int32_t padrao) const;

  // Replaces the key in place, or adds it at the end of its section (the section at the end
  // of the file when missing). A value holding a line break would inject lines into the file:
  // it raises ErroIni and changes nothing.
  void EscreverTexto(std::string_view secao, std::string_view chave, std::string_view valor);
  void EscreverInteiro(std::string_view secao, std::string_view chave, std::int32_t valor);

  // Writes the whole text to a temporary file beside the target and renames it over the
  // target, so a crash never leaves half a file. A read-only target is refused (ErroIni).
  void Salvar();

  std::string Texto() const;

 private:
  // Index of the line of "[secao]", or -1.
  long AcharSecao(std::string_view secao) const;
  // Index of the key's line within the section that starts at `inicioSecao`, or -1.
  long AcharChave(long inicioSecao, std::string_view chave) const;

  std::filesystem::path caminho_;
  std::vector<std::string> linhas_;
  std::string quebra_ = "\n";
  bool existe_ = false;
};

}  // namespace tarvex
