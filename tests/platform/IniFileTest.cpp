#include <gtest/gtest.h>

#include "TempHome.h"
#include "platform/Gbk.h"
#include "platform/IniFile.h"

using namespace vigil;
using vigil::test::Gbk;

namespace {
QString U(const char* s) { return QString::fromUtf8(s); }
}  // namespace

TEST(ParseProfileInt, Table) {
  struct Case {
    const char* text;
    std::optional<int> value;
  } cases[] = {
      {"12", 12},           {" 12 ", 12},        {"-5", -5},           {"+7", 7},
      {"0x1F", 31},         {"0XfF", 255},       {"0xFFFFFFFF", -1},   {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},                {"2147483648", std::nullopt},
      {"0x100000000", std::nullopt},             {"12abc", std::nullopt},
      {"abc", std::nullopt}, {"", std::nullopt}, {"1.5", std::nullopt}, {"0x", std::nullopt},
      {"- 1", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseProfileInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(IniDocument, LookupIgnoresAsciiCaseAndBlanks) {
  auto doc = IniDocument::FromBytes("; comment=no\n[Alarm MODE]\n  SOUND =  0 \n;Picture=1\n[Other]\nSound=9\n");
  EXPECT_EQ(doc.Value(U("alarm mode"), U("sound")), U("0"));
  EXPECT_EQ(doc.Value(U("ALARM mode"), U("Picture")), std::nullopt);  // a comment is no key
  EXPECT_EQ(doc.Value(U("Nope"), U("Sound")), std::nullopt);
  EXPECT_EQ(doc.Value(U("other"), U("sound")), U("9"));
}

TEST(IniDocument, SecondByteOfDoubleByteNameIsNotCaseFolded) {
  // "丄" is 0x81 0x41 ('A' as second byte), "乤" is 0x81 0x61 ('a').
  auto doc = IniDocument::FromBytes(Gbk("[节]\n乤=lower\n丄=upper\n"));
  EXPECT_EQ(doc.Value(U("节"), U("丄")), U("upper"));
  EXPECT_EQ(doc.Value(U("节"), U("乤")), U("lower"));
}

TEST(IniDocument, WritesKeepEverythingElseByteForByte) {
  const std::string junk = "\xFF\xFE not gbk \x81";
  std::string before = Gbk("[系统参数]\r\n") + "Weird=" + junk + "\r\n" + Gbk("窗口标题=旧\r\n") +
                       "\r\n; keep me\r\n[Unknown]\r\nx = 1\r\n";
  auto doc = IniDocument::FromBytes(before);
  doc.SetValue(U("系统参数"), U("窗口标题"), U("新"));
  doc.SetValue(U("系统参数"), U("NewKey"), U("v"));
  doc.SetValue(U("NewSection"), U("k"), U("镜头"));
  std::string expected = Gbk("[系统参数]\r\n") + "Weird=" + junk + "\r\n" + Gbk("窗口标题=新\r\n") +
                         "NewKey=v\r\n" + "\r\n; keep me\r\n[Unknown]\r\nx = 1\r\n" +
                         Gbk("[NewSection]\r\nk=镜头\r\n");
  EXPECT_EQ(doc.Bytes(), expected);
}

TEST(IniDocument, LineEndsBomAndMissingFinalNewline) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"[a]\nx=1", "[a]\nx=1\ny=2\n"},
      {"[a]\r\nx=1", "[a]\r\nx=1\r\ny=2\r\n"},
      {"", "[A]\ny=2\n"},  // a new section takes the name as given
      {"\xEF\xBB\xBF[a]\nx=1\n", "\xEF\xBB\xBF[a]\nx=1\ny=2\n"},
  };
  for (const Case& c : cases) {
    auto doc = IniDocument::FromBytes(c.in);
    doc.SetValue(U("A"), U("y"), U("2"));
    EXPECT_EQ(doc.Bytes(), c.out);
  }
  EXPECT_EQ(IniDocument::FromBytes("\xEF\xBB\xBF[a]\nx=1\n").Value(U("a"), U("x")), U("1"));
}

TEST(IniDocument, Utf8FileIsReadAndWrittenAsUtf8) {
  auto doc = IniDocument::FromBytes("[系统参数]\n窗口标题=测试\n");
  EXPECT_TRUE(doc.IsUtf8());
  EXPECT_EQ(doc.Value(U("系统参数"), U("窗口标题")), U("测试"));
  doc.SetValue(U("系统参数"), U("窗口标题"), U("监控"));
  EXPECT_EQ(doc.Bytes(), "[系统参数]\n窗口标题=监控\n");
  EXPECT_FALSE(IniDocument::FromBytes(Gbk("[系统参数]\n")).IsUtf8());
}

TEST(IniDocument, LongValuesAreCutAtTheReadLimitOnly) {
  std::string big(100 * 1024, 'x');
  auto doc = IniDocument::FromBytes("[a]\nbig=" + big + "\nsmall=1\n");
  EXPECT_EQ(doc.Value(U("a"), U("big"))->size(), 2047);
  EXPECT_EQ(doc.Value(U("a"), U("small")), U("1"));
  doc.SetValue(U("a"), U("small"), U("2"));
  EXPECT_EQ(doc.Bytes(), "[a]\nbig=" + big + "\nsmall=2\n");
  // A double-byte character across the limit is dropped whole.
  std::string gbk = std::string(2046, 'y') + "\xD6\xD0";
  EXPECT_EQ(IniDocument::FromBytes("[a]\nk=" + gbk + "\n").Value(U("a"), U("k"))->size(), 2046);
}

TEST(IniDocument, EraseSectionAndLineBreaksInValues) {
  auto doc = IniDocument::FromBytes("[UserInfo]\nUser0=a\nUser1=b\n[Keep]\nk=1\n[userinfo]\nUser0=c\n");
  doc.EraseSection(U("USERINFO"));
  doc.SetValue(U("Keep"), U("k"), U("line1\nline2\r"));
  EXPECT_EQ(doc.Bytes(), "[Keep]\nk=line1 line2 \n");
}

TEST(IniDocument, SaveReplacesTheFileAndKeepsItsMode) {
  vigil::test::TempHome home;
  auto file = home / "config.ini";
  vigil::test::WriteFile(file, "[a]\nx=1\n");
  std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  PrivateProfile p(file);
  EXPECT_EQ(p.ReadInteger(U("a"), U("x"), 0), 1);
  p.WriteInteger(U("a"), U("x"), 2);
  p.Commit();
  EXPECT_EQ(vigil::test::ReadFile(file), "[a]\nx=2\n");
  EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  // Nothing is left behind beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path()), {}), 1);
}

TEST(IniDocument, RefusedSaveSaysWhichFileAndChangesNothing) {
  vigil::test::TempHome home;
  auto file = home / "missing-folder" / "config.ini";
  PrivateProfile p(file);
  p.WriteInteger(U("a"), U("x"), 2);
  try {
    p.Commit();
    FAIL() << "save into a missing folder succeeded";
  } catch (const IniWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + file.string());
  }
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(PrivateProfile, TypedReadsFallBackToDefaults) {
  vigil::test::TempHome home;
  auto file = home / "config.ini";
  vigil::test::WriteFile(file, "[s]\nint=0x10\nbadint=12abc\nbool=7\nboolzero=0\ndt=2007-10-1 8:05:00\n"
                               "baddt=abc\ntime=23:59:59\nstr= hello world \n");
  PrivateProfile p(file);
  EXPECT_EQ(p.ReadInteger(U("s"), U("int"), 5), 16);
  EXPECT_EQ(p.ReadInteger(U("s"), U("badint"), 5), 5);
  EXPECT_EQ(p.ReadInteger(U("s"), U("missing"), 5), 5);
  EXPECT_TRUE(p.ReadBool(U("s"), U("bool"), false));
  EXPECT_FALSE(p.ReadBool(U("s"), U("boolzero"), true));
  EXPECT_EQ(DateTimeToStr(p.ReadDateTime(U("s"), U("dt"), 0)), U("2007-10-1 8:05:00"));
  EXPECT_EQ(p.ReadDateTime(U("s"), U("baddt"), 42.0), 42.0);
  EXPECT_EQ(TimeToStr(p.ReadTime(U("s"), U("time"), 0)), U("23:59:59"));
  EXPECT_EQ(p.ReadString(U("s"), U("str"), U("d")), U("hello world"));
  EXPECT_EQ(p.ReadString(U("missing"), U("str"), U("d")), U("d"));
}
