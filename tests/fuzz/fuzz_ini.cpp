// config.ini as any bytes: lookups, typed parses and a write never crash, and a written
// value reads back while the rest of the file is kept.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/DateTime.h"
#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  auto doc = vigil::IniDocument::FromBytes(bytes);
  const QString sections[] = {QStringLiteral("系统参数"), QStringLiteral("a"), QStringLiteral("Alarm Times")};
  const QString keys[] = {QStringLiteral("窗口标题"), QStringLiteral("k"), QStringLiteral("TimesCount")};
  for (const QString& s : sections)
    for (const QString& k : keys)
      if (auto v = doc.Value(s, k)) {
        QByteArray latin = v->toLatin1();
        vigil::ParseProfileInt(std::string_view(latin.constData(), static_cast<size_t>(latin.size())));
        vigil::StrToDateTime(*v);
        vigil::StrToTime(*v);
      }
  if (doc.Bytes() != bytes) std::abort();  // loading alone changes nothing
  doc.SetValue(QStringLiteral("a"), QStringLiteral("k"), QStringLiteral("值 1"));
  auto again = vigil::IniDocument::FromBytes(doc.Bytes());
  // The encoding guess may differ on the rewritten bytes only when the text was mixed.
  if (again.IsUtf8() == doc.IsUtf8() && again.Value(QStringLiteral("a"), QStringLiteral("k")) != QStringLiteral("值 1"))
    std::abort();
  return 0;
}
