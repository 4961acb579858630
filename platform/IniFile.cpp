#include "IniFile.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "Gbk.h"
#include "UniqueFd.h"

namespace vigil {
namespace {

constexpr size_t kMaxValueBytes = 2047;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// ASCII case folding that never folds the second byte of a double-byte character.
bool namesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (static_cast<unsigned char>(a[i]) >= 0x80) {
      if (a[i] != b[i]) return false;
      if (i + 1 < a.size()) {
        ++i;
        if (a[i] != b[i]) return false;
      }
    } else if (asciiLower(a[i]) != asciiLower(b[i])) {
      return false;
    }
  }
  return true;
}

// "[name]" → name; nothing when the line is not a section header.
std::optional<std::string_view> sectionName(std::string_view line) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(line.substr(1, close - 1));
}

struct KeyLine {
  std::string_view name, value;
};

std::optional<KeyLine> keyLine(std::string_view line) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyLine{trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

// Cuts at most max bytes without splitting a double-byte character.
std::string_view cutValue(std::string_view v, bool utf8) {
  if (v.size() <= kMaxValueBytes) return v;
  size_t n = kMaxValueBytes;
  if (utf8) {
    while (n > 0 && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80) --n;
  } else {
    size_t i = 0;
    while (i < n) i += static_cast<unsigned char>(v[i]) >= 0x81 ? 2 : 1;
    if (i > n) n -= 1;
  }
  return v.substr(0, n);
}

}  // namespace

std::optional<int> ParseProfileInt(std::string_view text) {
  std::string_view t = trim(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  int base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  if (t.empty()) return std::nullopt;
  unsigned long long v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, base);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  if (base == 16) {
    // Hexadecimal spells the 32 bits (0xFFFFFFFF is -1), as colour values do.
    if (v > 0xFFFFFFFFull) return std::nullopt;
    auto bits = static_cast<int>(static_cast<unsigned>(v));
    return negative ? -bits : bits;
  }
  if (negative ? v > 2147483648ull : v > 2147483647ull) return std::nullopt;
  return negative ? static_cast<int>(-static_cast<long long>(v)) : static_cast<int>(v);
}

IniDocument IniDocument::Load(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    IniDocument doc;
    std::error_code ec;
    doc.unreadable_ = std::filesystem::exists(file, ec);
    return doc;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  return FromBytes(std::move(ss).str());
}

IniDocument IniDocument::FromBytes(std::string bytes) {
  IniDocument doc;
  std::string_view rest(bytes);
  if (rest.starts_with(kBom)) {
    doc.bom_ = kBom;
    rest.remove_prefix(kBom.size());
    doc.utf8_ = true;
  } else {
    bool nonAscii = false;
    for (char c : rest) nonAscii |= static_cast<unsigned char>(c) >= 0x80;
    doc.utf8_ = nonAscii && isValidUtf8(rest);
  }
  while (!rest.empty()) {
    size_t nl = rest.find('\n');
    Line line;
    if (nl == std::string_view::npos) {
      line.text = rest;
      rest = {};
    } else {
      line.text = rest.substr(0, nl);
      line.eol = "\n";
      rest.remove_prefix(nl + 1);
      if (!line.text.empty() && line.text.back() == '\r') {
        line.text.pop_back();
        line.eol = "\r\n";
      }
    }
    doc.lines_.push_back(std::move(line));
  }
  return doc;
}

std::string IniDocument::Encode(const QString& s) const {
  if (utf8_) return s.toUtf8().toStdString();
  return toGbk(s);
}

QString IniDocument::Decode(std::string_view bytes) const {
  if (utf8_) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return fromGbk(bytes);
}

long IniDocument::FindSection(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    auto s = sectionName(lines_[i].text);
    if (s && namesEqual(*s, name)) return static_cast<long>(i);
  }
  return -1;
}

size_t IniDocument::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && !sectionName(lines_[i].text)) ++i;
  return i;
}

std::string IniDocument::NewLineEnd() const {
  for (const Line& l : lines_)
    if (!l.eol.empty()) return l.eol;
  return "\n";
}

std::optional<QString> IniDocument::Value(const QString& section, const QString& key) const {
  long header = FindSection(Encode(section));
  if (header < 0) return std::nullopt;
  std::string k = Encode(key);
  for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
    auto kl = keyLine(lines_[i].text);
    if (kl && namesEqual(kl->name, k)) return Decode(cutValue(kl->value, utf8_));
  }
  return std::nullopt;
}

void IniDocument::SetValue(const QString& section, const QString& key, const QString& value) {
  std::string sec = Encode(section), k = Encode(key);
  std::string text = k + "=" + Encode(value);
  // A value is one line: a line break in it would create keys of its own.
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  long header = FindSection(sec);
  if (header < 0) {
    if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = NewLineEnd();
    std::string eol = NewLineEnd();
    lines_.push_back({"[" + sec + "]", eol});
    lines_.push_back({std::move(text), eol});
    return;
  }
  size_t end = SectionEnd(static_cast<size_t>(header));
  size_t lastKey = static_cast<size_t>(header);
  for (size_t i = header + 1; i < end; ++i) {
    auto kl = keyLine(lines_[i].text);
    if (kl && namesEqual(kl->name, k)) {
      lines_[i].text = std::move(text);
      return;
    }
    if (kl) lastKey = i;
  }
  // A new key goes after the section's last key, so blank lines and comments that lead
  // into the next section stay where they are.
  if (lines_[lastKey].eol.empty()) lines_[lastKey].eol = NewLineEnd();
  lines_.insert(lines_.begin() + static_cast<long>(lastKey) + 1, Line{std::move(text), NewLineEnd()});
}

void IniDocument::EraseSection(const QString& section) {
  std::string sec = Encode(section);
  for (long header; (header = FindSection(sec)) >= 0;) {
    size_t end = SectionEnd(static_cast<size_t>(header));
    lines_.erase(lines_.begin() + header, lines_.begin() + static_cast<long>(end));
  }
}

std::string IniDocument::Bytes() const {
  std::string out = bom_;
  for (const Line& l : lines_) {
    out += l.text;
    out += l.eol;
  }
  return out;
}

void IniDocument::Save(const std::filesystem::path& file) const {
  std::error_code ec;
  // Replace the file a symbolic link points at, not the link.
  std::filesystem::path target = std::filesystem::is_symlink(file, ec)
                                     ? std::filesystem::canonical(file, ec)
                                     : file;
  if (ec) target = file;
  const std::string failure = "Unable to write to " + file.string();
  if (unreadable_) throw IniWriteError(failure);
  std::string tmpl = (target.parent_path() / (target.filename().string() + ".XXXXXX")).string();
  if (target.parent_path().empty()) tmpl = target.filename().string() + ".XXXXXX";
  UniqueFd fd(mkstemp(tmpl.data()));
  if (!fd) throw IniWriteError(failure);
  struct stat st{};
  // Keep the old file's permissions; a new one stays private (it holds passwords).
  if (stat(target.c_str(), &st) == 0) fchmod(fd.get(), st.st_mode & 07777);
  const std::string bytes = Bytes();
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  if (!ok || rename(tmpl.c_str(), target.c_str()) != 0) {
    unlink(tmpl.c_str());
    throw IniWriteError(failure);
  }
  // Make the rename itself durable.
  std::string dir = target.parent_path().empty() ? "." : target.parent_path().string();
  UniqueFd dfd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dfd) fsync(dfd.get());
}

PrivateProfile::PrivateProfile(std::filesystem::path file)
    : file_(std::move(file)), doc_(IniDocument::Load(file_)) {}

QString PrivateProfile::ReadString(const QString& section, const QString& key,
                                   const QString& def) const {
  return doc_.Value(section, key).value_or(def);
}

int PrivateProfile::ReadInteger(const QString& section, const QString& key, int def) const {
  auto v = doc_.Value(section, key);
  if (!v) return def;
  QByteArray latin = v->toLatin1();
  return ParseProfileInt(std::string_view(latin.constData(), static_cast<size_t>(latin.size())))
      .value_or(def);
}

bool PrivateProfile::ReadBool(const QString& section, const QString& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

TDateTime PrivateProfile::ReadDateTime(const QString& section, const QString& key,
                                       TDateTime def) const {
  auto v = doc_.Value(section, key);
  return v ? StrToDateTime(*v).value_or(def) : def;
}

TDateTime PrivateProfile::ReadTime(const QString& section, const QString& key,
                                   TDateTime def) const {
  auto v = doc_.Value(section, key);
  return v ? StrToTime(*v).value_or(def) : def;
}

void PrivateProfile::WriteString(const QString& section, const QString& key,
                                 const QString& value) {
  doc_.SetValue(section, key, value);
}

void PrivateProfile::WriteInteger(const QString& section, const QString& key, int value) {
  doc_.SetValue(section, key, QString::number(value));
}

void PrivateProfile::WriteBool(const QString& section, const QString& key, bool value) {
  doc_.SetValue(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void PrivateProfile::WriteDateTime(const QString& section, const QString& key, TDateTime value) {
  doc_.SetValue(section, key, DateTimeToStr(value));
}

void PrivateProfile::WriteTime(const QString& section, const QString& key, TDateTime value) {
  doc_.SetValue(section, key, TimeToStr(value));
}

void PrivateProfile::EraseSection(const QString& section) { doc_.EraseSection(section); }

void PrivateProfile::Commit() { doc_.Save(file_); }

}  // namespace vigil
