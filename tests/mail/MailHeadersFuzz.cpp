// Address lists and header texts come from config.ini: whatever they hold, the headers we
// build must keep every line break a fold and every encoded line within 998 bytes.
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "platform/MailSender.h"

namespace {

void CheckHeader(const QByteArray& header) {
  qsizetype lineStart = 0;
  for (qsizetype i = 0; i < header.size(); ++i) {
    if (header[i] == '\r' || header[i] == '\n') {
      bool fold = header[i] == '\r' && i + 2 < header.size() && header[i + 1] == '\n' && header[i + 2] == ' ';
      if (!fold) std::abort();
      if (i - lineStart > 998) std::abort();
      i += 1;
      lineStart = i + 1;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  for (const vigil::MailAddress& a : vigil::ParseAddressList(text)) {
    if (a.address.isEmpty() || a.address.contains(QLatin1Char('\n')) || a.address.contains(QLatin1Char('\r')) ||
        a.address.contains(QLatin1Char('<')) || a.address.contains(QLatin1Char(' ')))
      std::abort();
    CheckHeader(vigil::EncodeHeaderText(a.name));
  }
  CheckHeader(vigil::EncodeHeaderText(text));
  CheckHeader(vigil::DispositionHeader(text));
  return 0;
}
