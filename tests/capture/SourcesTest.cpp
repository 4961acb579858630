// The source list and the overlay text: what users write and what the frames show.
#include <gtest/gtest.h>

#include "TempHome.h"
#include "platform/capture/Overlay.h"
#include "platform/capture/Sources.h"

using namespace vigil;
using namespace vigil::capture;

namespace {

TEST(Sources, ExtraSourceTexts) {
  struct Case {
    const char* text;
    std::optional<SourceKind> kind;
    const char* location;
  } cases[] = {
      {"file:/srv/demo.avi", SourceKind::File, "/srv/demo.avi"},
      {"  FILE: /srv/a b.mp4 ", SourceKind::File, "/srv/a b.mp4"},
      {"lavfi:testsrc2=size=640x480", SourceKind::Lavfi, "testsrc2=size=640x480"},
      {"rtsp://10.0.0.5:554/live", SourceKind::Url, "rtsp://10.0.0.5:554/live"},
      {"HTTP://cam/video.mjpg", SourceKind::Url, "HTTP://cam/video.mjpg"},
      {"https://cam/stream", SourceKind::Url, "https://cam/stream"},
      {"file:", std::nullopt, ""},
      {"/dev/video0", std::nullopt, ""},
      {"ftp://x/y", std::nullopt, ""},
      {"", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto s = ParseExtraSource(QString::fromUtf8(c.text));
    ASSERT_EQ(s.has_value(), c.kind.has_value());
    if (!s) continue;
    EXPECT_EQ(s->kind, *c.kind);
    EXPECT_EQ(s->location, c.location);
  }
}

TEST(Sources, ListHasDevicesThenExtrasThenVirtualCameras) {
  test::TempHome home;
  test::WriteFile(home / "config.ini", test::Gbk("[系统参数]\r\n存储路径=/v/\r\n[ExtraSources]\r\n"
                                                 "Source2=lavfi:testsrc2\r\nTitle2=大门\r\n"
                                                 "Source1=file:/srv/a.avi\r\nSource3=bogus\r\n"));
  auto extras = ReadExtraSources(home / "config.ini");
  ASSERT_EQ(extras.size(), 2u);
  EXPECT_EQ(extras[0].kind, SourceKind::File);
  EXPECT_EQ(extras[0].title, QStringLiteral("file:/srv/a.avi"));
  EXPECT_EQ(extras[1].title, QStringLiteral("大门"));

  auto all = ListSources(home / "config.ini", 3);
  ASSERT_GE(all.size(), 5u);
  const size_t devices = all.size() - 5;
  for (size_t i = 0; i < devices; ++i) EXPECT_EQ(all[i].kind, SourceKind::V4l2);
  EXPECT_EQ(all[devices].kind, SourceKind::File);
  EXPECT_EQ(all[devices + 1].kind, SourceKind::Lavfi);
  for (size_t i = devices + 2; i < all.size(); ++i) EXPECT_EQ(all[i].kind, SourceKind::Virtual);
  EXPECT_EQ(all.back().virt.index, 3);
}

// Only nodes that are real capture devices count; anything else named video* is skipped.
TEST(Sources, V4l2ListSkipsNodesThatDoNotCapture) {
  test::TempHome home;
  test::WriteFile(home / "video0", "");
  test::WriteFile(home / "video1x", "");
  std::filesystem::create_directory(home / "video2");
  EXPECT_TRUE(ListV4l2Devices(home.path()).empty());
}

TEST(Overlay, TimePlaceholderIsReplacedInEveryFrame) {
  TDateTime t = *EncodeDateTime({2009, 5, 17, 8, 4, 9, 0});
  struct Case {
    const char* text;
    const char* shown;
  } cases[] = {
      {"%sys_time[yyyy-mm-dd hh:nn:ss]%\r\nCam 1", "2009-05-17 08:04:09\r\nCam 1"},
      {"Cam 1", "Cam 1"},
      {"", ""},
      {"%sys_time[hhnnss]%/%sys_time[yyyymmdd]%", "080409/20090517"},
      {"%sys_time[yyyy", "%sys_time[yyyy"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandOverlayText(QString::fromUtf8(c.text), t), QString::fromUtf8(c.shown));
}

}  // namespace
