// A private VIGIL_HOME for one test: a fresh temporary folder, removed afterwards.
#pragma once

#include <QString>
#include <filesystem>
#include <string>

namespace vigil::test {

class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
  std::string oldHome_;
  bool hadHome_ = false;
};

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
// A file of the source tree (tests/...), found through VIGIL_SOURCE_DIR.
std::filesystem::path SourcePath(const std::string& relative);
// GBK bytes of a UTF-8 text, for writing fixtures.
std::string Gbk(const char* utf8);

}  // namespace vigil::test

// Readable QString values in test failure messages.
#include <ostream>
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
