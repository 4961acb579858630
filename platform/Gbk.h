// Text in files and on the wire is GBK (code page 936); in memory it is Unicode.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vigil {

// Bytes that are not valid GBK decode to U+FFFD, one per bad byte; characters that GBK
// cannot hold encode to '?'. Neither call fails.
std::string gbkToUtf8(std::string_view gbk);
std::string utf8ToGbk(std::string_view utf8);

QString fromGbk(std::string_view gbk);
std::string toGbk(const QString& text);

bool isValidGbk(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

}  // namespace vigil
