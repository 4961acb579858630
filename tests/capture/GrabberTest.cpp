// A channel's capture engine end to end: rotation, pictures, lost and bad sources, hooks.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <QImage>
#include <QSignalSpy>

#include "CaptureTestSupport.h"
#include "TempHome.h"
#include "platform/capture/Grabber.h"
#include "platform/capture/VirtualCamera.h"

using namespace vigil;
using namespace vigil::capture;
using test::WaitUntil;

namespace {

constexpr int kW = 384, kH = 288;  // wide enough for the 24 counter blocks

SourceInfo CountingCamera() {
  SourceInfo s = VirtualCamera(3);
  s.virt.burn_counter = true;
  s.virt.drop_late = false;  // every frame, so a gap can only come from the recorder
  return s;
}

// Consecutive files of one recording hold every frame exactly once, in order.
TEST(Grabber, FileSwitchKeepsEveryFrameExactlyOnce) {
  test::TempHome home;
  Grabber g(1);
  g.SetSource(CountingCamera());
  g.SetCaptureSize(kW, kH, 25);
  QSignalSpy started(&g, &Grabber::RecordingStarted);
  QSignalSpy closed(&g, &Grabber::RecordingClosed);
  std::vector<std::filesystem::path> files = {home / "a(1).AVI", home / "b(1).AVI", home / "c(1).AVI"};

  ASSERT_TRUE(g.StartRecording({files[0], kXvidCompressor, -1}));
  for (size_t i = 1; i < files.size(); ++i) {
    const int64_t at = g.stats().recorded;
    ASSERT_TRUE(WaitUntil([&] { return g.stats().recorded >= at + 20; }));
    ASSERT_TRUE(g.SetRecordingFileName(files[i]));
  }
  const int64_t at = g.stats().recorded;
  ASSERT_TRUE(WaitUntil([&] { return g.stats().recorded >= at + 20; }));
  g.StopRecording();
  ASSERT_TRUE(WaitUntil([&] { return closed.size() == 3; }));
  EXPECT_EQ(started.size(), 3);
  EXPECT_EQ(g.state(), ChannelState::Previewing);
  g.Stop();

  std::vector<long long> all;
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].string());
    EXPECT_EQ(closed[static_cast<int>(i)][1].toString().toStdString(), files[i].string());
    EXPECT_TRUE(closed[static_cast<int>(i)][3].toBool());
    auto counters = test::DecodeCounters(files[i], kW, kH);
    EXPECT_EQ(static_cast<long long>(counters.size()), closed[static_cast<int>(i)][2].toLongLong());
    const auto streams = test::Probe(files[i]);
    const test::StreamProbe* v = test::VideoStream(streams);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->frames, static_cast<long long>(counters.size()));
    EXPECT_EQ(v->tag, "XVID");
    EXPECT_GE(counters.size(), 20u);
    all.insert(all.end(), counters.begin(), counters.end());
  }
  for (size_t i = 1; i < all.size(); ++i) ASSERT_EQ(all[i], all[i - 1] + 1) << "at frame " << i;
  EXPECT_EQ(static_cast<int64_t>(all.size()), g.stats().recorded);
}

bool DecodesAsJpeg(const std::filesystem::path& file, int& w, int& h) {
  std::string bytes = test::ReadFile(file);
  tjhandle d = tjInitDecompress();
  int sub = 0, space = 0;
  bool ok = tjDecompressHeader3(d, reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<unsigned long>(bytes.size()), &w, &h, &sub, &space) == 0;
  std::vector<unsigned char> pixels(static_cast<size_t>(std::max(w, 1)) * std::max(h, 1) * 3);
  ok = ok && tjDecompress2(d, reinterpret_cast<const unsigned char*>(bytes.data()),
                           static_cast<unsigned long>(bytes.size()), pixels.data(), w, 0, h, TJPF_BGR, 0) == 0;
  tjDestroy(d);
  return ok;
}

// Single pictures and bursts of each format: every file decodes at the capture size.
TEST(Grabber, SnapshotsAndBurstsDecode) {
  test::TempHome home;
  Grabber g(2);
  g.SetSource(VirtualCamera(2));
  g.SetCaptureSize(320, 240, 25);
  EXPECT_FALSE(g.CaptureFrameTo(home / "stopped.JPG", PictureFormat::Jpeg)) << "refused while stopped";
  g.StartPreview();
  QSignalSpy captured(&g, &Grabber::FrameCaptured);
  struct Case {
    PictureFormat format;
    const char* ext;
    int count;
  } cases[] = {{PictureFormat::Jpeg, ".JPG", 1}, {PictureFormat::Bmp, ".BMP", 1}, {PictureFormat::Jpeg, ".JPG", 3},
               {PictureFormat::Bmp, ".BMP", 3}};
  int burst = 0, expected = 0;
  for (const auto& c : cases) {
    ++burst;
    for (int k = 1; k <= c.count; ++k) {
      auto file = home / ("20090517080409(2)-" + std::to_string(burst * 10 + k) + c.ext);
      ASSERT_TRUE(WaitUntil([&] { return g.CaptureFrameTo(file, c.format); }));
      ++expected;
      if (k == 1) {
        EXPECT_FALSE(g.CaptureFrameTo(home / "second.JPG", c.format)) << "refused while pending";
      }
      ASSERT_TRUE(WaitUntil([&] { return captured.size() == expected; }));
      EXPECT_TRUE(captured.last()[2].toBool());
      int w = 0, h = 0;
      if (c.format == PictureFormat::Jpeg) {
        EXPECT_TRUE(DecodesAsJpeg(file, w, h)) << file;
      } else {
        QImage img(QString::fromStdString(file.string()), "BMP");
        w = img.width();
        h = img.height();
      }
      EXPECT_EQ(w, 320);
      EXPECT_EQ(h, 240);
    }
  }
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(home.path()))
    files += e.path().filename().string().rfind("20090517080409(2)-", 0) == 0;
  EXPECT_EQ(files, 8u);
  EXPECT_FALSE(std::filesystem::exists(home / "second.JPG"));
  EXPECT_FALSE(std::filesystem::exists(home / "stopped.JPG"));
}

// A stream that ends closes its file playable, says so, and comes back by itself.
TEST(Grabber, StreamThatStopsClosesTheFileAndComesBack) {
  test::TempHome home;
  Grabber g(4);
  SourceInfo s = *ParseExtraSource(QStringLiteral("lavfi:testsrc2=size=320x240:rate=25:duration=1.2"),
                                   QStringLiteral("short"));
  g.SetSource(s);
  g.SetCaptureSize(320, 240, 25);
  int named = 0;
  g.SetRecordingNamer([&] { return home / ("again" + std::to_string(++named) + "(4).AVI"); });
  QSignalSpy lost(&g, &Grabber::SourceLost);
  QSignalSpy restored(&g, &Grabber::SourceRestored);
  QSignalSpy started(&g, &Grabber::RecordingStarted);
  QSignalSpy closed(&g, &Grabber::RecordingClosed);
  ASSERT_TRUE(g.StartRecording({home / "first(4).AVI", 5, -1}));
  ASSERT_TRUE(WaitUntil([&] { return lost.size() >= 1; }));
  EXPECT_TRUE(lost[0][1].toString().contains(QStringLiteral("short")));
  ASSERT_GE(closed.size(), 1);
  EXPECT_TRUE(closed[0][3].toBool());
  ASSERT_TRUE(WaitUntil([&] { return restored.size() >= 1 && started.size() >= 2; }));
  EXPECT_EQ(started[1][1].toString().toStdString(), (home / "again1(4).AVI").string());
  const int64_t at = g.stats().recorded;
  ASSERT_TRUE(WaitUntil([&] { return g.stats().recorded >= at + 10 || lost.size() >= 2; }));
  g.Stop();
  for (const char* name : {"first(4).AVI", "again1(4).AVI"}) {
    SCOPED_TRACE(name);
    const auto streams = test::Probe(home / name);
    const test::StreamProbe* v = test::VideoStream(streams);
    ASSERT_NE(v, nullptr);
    EXPECT_GT(v->frames, 5);
  }
}

// A source that cannot be opened is reported by name; another channel runs on.
TEST(Grabber, BadSourceIsReportedAndOtherChannelsRunOn) {
  Grabber bad(5), good(6);
  bad.SetSource(*ParseExtraSource(QStringLiteral("http://127.0.0.1:9/none.mjpg"), QStringLiteral("门口")));
  good.SetSource(VirtualCamera(6));
  good.SetCaptureSize(320, 240, 25);
  QSignalSpy errors(&bad, &Grabber::ErrorOccurred);
  bad.StartPreview();
  good.StartPreview();
  ASSERT_TRUE(WaitUntil([&] { return errors.size() >= 1; }));
  QString message = errors[0][1].toString();
  EXPECT_TRUE(message.contains(QStringLiteral("门口"))) << message.toStdString();
  EXPECT_TRUE(message.contains(QStringLiteral("127.0.0.1:9"))) << message.toStdString();
  const int64_t at = good.stats().frames;
  EXPECT_TRUE(WaitUntil([&] { return good.stats().frames > at + 10; }));
  EXPECT_EQ(bad.stats().frames, 0);
  EXPECT_EQ(errors.size(), 1) << "reported once, not at every retry";
}

class CountingMotion : public MotionHook {
 public:
  std::optional<MotionResult> OnFrame(const Frame& f) override {
    ++seen;
    if (f.number % 5 != 0) return std::nullopt;
    return MotionResult{f.number % 10 == 0, 0.5};
  }
  std::atomic<int> seen{0};
};

// The frame path: overlay and alarm frame drawn into the picture, hooks called, events queued.
TEST(Grabber, FramePathDrawsAndCallsItsHooks) {
  Grabber g(7);
  g.SetSource(VirtualCamera(7));
  g.SetCaptureSize(320, 240, 25);
  g.SetAlarmFrame(true, QRect(2, 2, 318, 238));
  TextOverlay overlay;
  overlay.enabled = true;
  overlay.text = QStringLiteral("%sys_time[yyyy-mm-dd hh:nn:ss]%\r\n大门");
  overlay.right = 315;
  overlay.colour_bgr = 0x00ff00;  // green
  g.SetTextOverlay(overlay);
  auto motion = std::make_shared<CountingMotion>();
  g.SetMotionHook(motion);
  std::atomic<int64_t> remoteLast{0};
  std::atomic<int> remoteCalls{0};
  g.SetRemoteFrameHandler([&](int channel, int64_t number, const Frame& f) {
    EXPECT_EQ(channel, 7);
    EXPECT_EQ(f.width, 320);
    remoteLast = number;
    ++remoteCalls;
  });
  QSignalSpy moved(&g, &Grabber::MotionDetected), still(&g, &Grabber::MotionNotDetected);
  QSignalSpy ready(&g, &Grabber::FrameReady), previewing(&g, &Grabber::PreviewStarted);
  g.StartPreview();
  ASSERT_TRUE(WaitUntil([&] { return moved.size() >= 2 && still.size() >= 2; }));
  EXPECT_EQ(previewing.size(), 1);
  EXPECT_EQ(g.state(), ChannelState::Previewing);
  ConstFramePtr f = g.LatestFrame();
  ASSERT_TRUE(f);
  const uint8_t* corner = f->row(3) + 3 * 3;
  EXPECT_EQ(corner[2], 255);  // red alarm frame
  EXPECT_EQ(corner[1], 0);
  int green = 0;
  for (int y = 5; y < 60; ++y)
    for (int x = 160; x < 315; ++x) {
      const uint8_t* p = f->row(y) + x * 3;
      green += p[1] > 200 && p[0] < 60 && p[2] < 60;
    }
  EXPECT_GT(green, 50) << "overlay text drawn at the top right";
  EXPECT_GE(motion->seen.load(), 10);
  EXPECT_GE(remoteCalls.load(), 10);
  // Preview notifications do not pile up while nobody reads the slot.
  const int before = static_cast<int>(ready.size());
  const int64_t frames = g.stats().frames;
  ASSERT_TRUE(WaitUntil([&] { return g.stats().frames > frames + 10; }));
  QCoreApplication::processEvents();
  EXPECT_LE(ready.size(), before + 1);
  g.Stop();
  EXPECT_EQ(g.state(), ChannelState::Stopped);
  EXPECT_FALSE(g.LatestFrame());
}

// Sound from an input that is not there: the video is recorded alone, with a debug line.
TEST(Grabber, MissingSoundInputRecordsVideoOnly) {
  test::TempHome home;
  Grabber g(8);
  g.SetSource(VirtualCamera(8));
  g.SetCaptureSize(320, 240, 25);
  QSignalSpy debug(&g, &Grabber::DebugLine);
  QSignalSpy closed(&g, &Grabber::RecordingClosed);
  ASSERT_TRUE(g.StartRecording({home / "mute(8).AVI", 5, 999}));
  ASSERT_TRUE(WaitUntil([&] { return g.stats().recorded >= 10; }));
  g.StopRecording();
  ASSERT_TRUE(WaitUntil([&] { return closed.size() == 1; }));
  g.Stop();
  ASSERT_GE(debug.size(), 1);
  EXPECT_TRUE(debug[0][1].toString().contains(QStringLiteral("无声音")));
  auto streams = test::Probe(home / "mute(8).AVI");
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0].frames, closed[0][2].toLongLong());
}

// Sound from a real ALSA input (the "null" device gives silence) lands in the same file.
TEST(Grabber, SoundInputRecordedIntoTheFile) {
  auto inputs = ListAudioInputs();
  auto it = std::find_if(inputs.begin(), inputs.end(), [](const auto& i) { return i.device == "null"; });
  if (it == inputs.end()) GTEST_SKIP() << "no ALSA null device";
  test::TempHome home;
  Grabber g(9);
  g.SetSource(VirtualCamera(9));
  g.SetCaptureSize(320, 240, 25);
  QSignalSpy closed(&g, &Grabber::RecordingClosed);
  ASSERT_TRUE(g.StartRecording({home / "sound(9).AVI", 5, static_cast<int>(it - inputs.begin())}));
  ASSERT_TRUE(WaitUntil([&] { return g.stats().recorded >= 25; }));
  g.StopRecording();
  ASSERT_TRUE(WaitUntil([&] { return closed.size() == 1; }));
  g.Stop();
  auto streams = test::Probe(home / "sound(9).AVI");
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(test::VideoStream(streams)->frames, closed[0][2].toLongLong());
}

// A refused compressor: clear message, no file, the channel stays as it was.
TEST(Grabber, RefusedCompressorWritesNothing) {
  test::TempHome home;
  Grabber g(3);
  g.SetSource(VirtualCamera(3));
  g.SetCaptureSize(640, 480, 25);
  QString error;
  QSignalSpy errors(&g, &Grabber::ErrorOccurred);
  EXPECT_FALSE(g.StartRecording({home / "x(3).AVI", 3, -1}, &error));
  EXPECT_TRUE(error.contains(QStringLiteral("H.263"))) << error.toStdString();
  EXPECT_EQ(errors.size(), 1);
  EXPECT_FALSE(g.running());
  EXPECT_FALSE(std::filesystem::exists(home / "x(3).AVI"));
}

}  // namespace
