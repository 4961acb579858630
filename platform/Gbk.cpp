#include "Gbk.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace vigil {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of in; on a byte sequence it cannot convert it appends `bad` and skips
  // `skip(rest)` bytes. Returns false when anything had to be replaced.
  template <typename Skip>
  bool run(std::string_view in, std::string& out, std::string_view bad, Skip skip) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    bool clean = true;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[4096];
    while (srcLeft > 0) {
      char* dst = buf;
      size_t dstLeft = sizeof buf;
      size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buf, static_cast<size_t>(dst - buf));
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (cut sequence at the end): replace and go on.
      clean = false;
      out.append(bad);
      size_t n = skip(std::string_view(src, srcLeft));
      src += n;
      srcLeft -= n;
    }
    return clean;
  }

 private:
  iconv_t cd_;
};

size_t skipOneByte(std::string_view) { return 1; }

// Skips one UTF-8 character (or one stray byte).
size_t skipUtf8Char(std::string_view rest) {
  size_t n = 1;
  while (n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

std::string gbkToUtf8(std::string_view gbk) {
  Converter c("UTF-8", "CP936");
  std::string out;
  out.reserve(gbk.size() * 3 / 2);
  c.run(gbk, out, "\xEF\xBF\xBD", skipOneByte);
  return out;
}

std::string utf8ToGbk(std::string_view utf8) {
  Converter c("CP936", "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  c.run(utf8, out, "?", skipUtf8Char);
  return out;
}

QString fromGbk(std::string_view gbk) {
  std::string utf8 = gbkToUtf8(gbk);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string toGbk(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  return utf8ToGbk(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

bool isValidGbk(std::string_view bytes) {
  Converter c("UTF-8", "CP936");
  std::string out;
  return c.run(bytes, out, "", skipOneByte);
}

bool isValidUtf8(std::string_view bytes) {
  Converter c("UTF-16LE", "UTF-8");
  std::string out;
  return c.run(bytes, out, "", skipOneByte);
}

}  // namespace vigil
