// The private-profile (INI) file behind config.ini.
//
// A line "[name]" opens a section; "name=value" lines are keys. Section and key names match
// without regard to ASCII case (the second byte of a double-byte character is compared as
// is). The text is GBK; a file that starts with a UTF-8 byte-order mark, or that is valid
// UTF-8 holding non-ASCII bytes, is read and written as UTF-8 so that a file saved by a
// Linux editor keeps working. Lines this class does not change are written back byte for
// byte, with their own line ends.
//
// Reads see the file as loaded; writes change the loaded lines and Commit() replaces the
// file at once (temporary file in the same folder, flush, rename), so a crash never leaves
// a cut file.
#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "DateTime.h"

namespace vigil {

// A save the system refused; what() is "Unable to write to <file>".
class IniWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniDocument {
 public:
  IniDocument() = default;
  // A missing or unreadable file gives an empty document; an unreadable one refuses Save,
  // so that defaults never replace settings we could not see.
  static IniDocument Load(const std::filesystem::path& file);
  static IniDocument FromBytes(std::string bytes);

  // The value as text (at most 2047 bytes of it, blanks around it trimmed), or nothing
  // when the section or key is absent. The first matching section and key win.
  std::optional<QString> Value(const QString& section, const QString& key) const;
  void SetValue(const QString& section, const QString& key, const QString& value);
  void EraseSection(const QString& section);

  std::string Bytes() const;
  bool IsUtf8() const { return utf8_; }
  // Writes Bytes() atomically; throws IniWriteError.
  void Save(const std::filesystem::path& file) const;

 private:
  struct Line {
    std::string text;  // without its line end
    std::string eol;   // "\r\n", "\n" or "" for a last line without one
  };
  std::string Encode(const QString& s) const;
  QString Decode(std::string_view bytes) const;
  // Index of the header line of the section, or -1.
  long FindSection(std::string_view name) const;
  // End (exclusive) of the section whose header is at `header`.
  size_t SectionEnd(size_t header) const;
  std::string NewLineEnd() const;

  std::string bom_;
  bool unreadable_ = false;  // the file exists but could not be read: never overwrite it
  std::vector<Line> lines_;
  bool utf8_ = false;
};

// Typed reads and writes with defaults, on one loaded document.
class PrivateProfile {
 public:
  explicit PrivateProfile(std::filesystem::path file);

  QString ReadString(const QString& section, const QString& key, const QString& def) const;
  int ReadInteger(const QString& section, const QString& key, int def) const;
  bool ReadBool(const QString& section, const QString& key, bool def) const;
  TDateTime ReadDateTime(const QString& section, const QString& key, TDateTime def) const;
  TDateTime ReadTime(const QString& section, const QString& key, TDateTime def) const;

  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);
  void WriteBool(const QString& section, const QString& key, bool value);
  void WriteDateTime(const QString& section, const QString& key, TDateTime value);
  void WriteTime(const QString& section, const QString& key, TDateTime value);
  void EraseSection(const QString& section);

  // Replaces the file with the document; throws IniWriteError.
  void Commit();
  const IniDocument& Document() const { return doc_; }
  const std::filesystem::path& File() const { return file_; }

 private:
  std::filesystem::path file_;
  IniDocument doc_;
};

// Decimal with an optional sign, or hexadecimal after "0x"; blanks around it allowed.
// Nothing for other text or a value outside 32 bits.
std::optional<int> ParseProfileInt(std::string_view text);

}  // namespace vigil
