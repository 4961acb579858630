#include <gtest/gtest.h>

#include "TempHome.h"

#include "platform/Gbk.h"

using namespace vigil;

TEST(Gbk, RoundTripsChineseAndAscii) {
  const std::string utf8 = "窗口标题=Tavik视频监控直播系统 V6.0 镜头1 €";
  std::string gbk = utf8ToGbk(utf8);
  EXPECT_EQ(gbk.substr(0, 4), "\xB4\xB0\xBF\xDA");  // 窗口
  EXPECT_EQ(gbk.back(), '\x80');                     // the euro sign of code page 936
  EXPECT_TRUE(isValidGbk(gbk));
  EXPECT_EQ(gbkToUtf8(gbk), utf8);
  EXPECT_EQ(fromGbk(gbk), QString::fromUtf8(utf8.c_str()));
  EXPECT_EQ(toGbk(QString::fromUtf8(utf8.c_str())), gbk);
}

TEST(Gbk, BadBytesAreReplacedNotFatal) {
  struct Case {
    std::string gbk, utf8;
  } cases[] = {
      {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},                 // 0xFF is never a lead byte
      {"\xD6\xD0\xD6", "中\xEF\xBF\xBD"},                 // cut double-byte character at the end
      {std::string("x\0y", 3), std::string("x\0y", 3)},  // NUL passes through
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);
  }
  EXPECT_FALSE(isValidGbk("a\xFF"));
}

TEST(Gbk, CharactersOutsideGbkBecomeQuestionMarks) {
  EXPECT_EQ(utf8ToGbk("a😀b"), "a?b");
  EXPECT_EQ(utf8ToGbk("a\xC3(b"), "a?(b");  // broken UTF-8 input
}

TEST(Gbk, Utf8Validity) {
  EXPECT_TRUE(isValidUtf8("镜头"));
  EXPECT_FALSE(isValidUtf8(utf8ToGbk("镜头")));
}
