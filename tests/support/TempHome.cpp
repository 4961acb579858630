#include "TempHome.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/Gbk.h"
#include "settings/SystemServices.h"

namespace vigil::test {

TempHome::TempHome() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vigil-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  if (const char* old = std::getenv("VIGIL_HOME")) {
    hadHome_ = true;
    oldHome_ = old;
  }
  setenv("VIGIL_HOME", path_.c_str(), 1);
  ResetProgramFolder();
}

TempHome::~TempHome() {
  if (hadHome_) setenv("VIGIL_HOME", oldHome_.c_str(), 1);
  else unsetenv("VIGIL_HOME");
  ResetProgramFolder();
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return std::move(ss).str();
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::filesystem::path SourcePath(const std::string& relative) {
  const char* root = std::getenv("VIGIL_SOURCE_DIR");
  return std::filesystem::path(root ? root : VIGIL_SOURCE_DIR_DEFAULT) / relative;
}

std::string Gbk(const char* utf8) { return utf8ToGbk(utf8); }

}  // namespace vigil::test
