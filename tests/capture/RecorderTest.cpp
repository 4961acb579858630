// The AVI recorder on its own: every compressor's file as ffprobe sees it, refusals.
#include <gtest/gtest.h>

#include "CaptureTestSupport.h"
#include "TempHome.h"
#include "platform/capture/AviRecorder.h"
#include "platform/capture/Compressors.h"
#include "platform/capture/VirtualCamera.h"

using namespace vigil;
using namespace vigil::capture;

namespace {

struct CompressorCase {
  int index;
  const char* codec;
  const char* tag;
};

class CompressorFiles : public ::testing::TestWithParam<CompressorCase> {};

TEST_P(CompressorFiles, FileHoldsEveryFrameWithCodecTagSizeAndRate) {
  const CompressorCase c = GetParam();
  test::TempHome home;
  std::atomic<bool> stop{false};
  SourceInfo info = VirtualCamera(2);
  VirtualCameraSource camera(info, {320, 240, 25}, stop);
  RecorderConfig config{home / "clip.AVI", c.index, 320, 240, 25.0, std::nullopt};
  std::string error;
  auto recorder = AviRecorder::Open(config, error);
  if (!recorder && std::string(FindCompressor(c.index)->encoder) == "libx264" &&
      error.find("not available") != std::string::npos)
    GTEST_SKIP() << error;
  ASSERT_TRUE(recorder) << error;
  Frame frame;
  for (int n = 0; n < 40; ++n) {
    camera.Render(n, frame);
    ASSERT_TRUE(recorder->WriteVideo(frame, error)) << error;
  }
  ASSERT_TRUE(recorder->Close(error)) << error;
  EXPECT_EQ(recorder->frames(), 40);

  std::string log;
  auto streams = test::Probe(config.file, &log);
  const test::StreamProbe* v = test::VideoStream(streams);
  ASSERT_NE(v, nullptr) << log;
  EXPECT_EQ(v->codec, c.codec);
  EXPECT_EQ(v->tag, c.tag);
  EXPECT_EQ(v->width, 320);
  EXPECT_EQ(v->height, 240);
  EXPECT_EQ(v->rate, "25/1");
  EXPECT_EQ(v->frames, 40);
  EXPECT_EQ(log, "");
}

INSTANTIATE_TEST_SUITE_P(Compressors, CompressorFiles,
                         ::testing::Values(CompressorCase{0, "rawvideo", "[0][0][0][0]"},
                                           CompressorCase{1, "mjpeg", "MJPG"},
                                           CompressorCase{2, "msmpeg4v2", "MP42"},
                                           CompressorCase{4, "ffv1", "FFV1"},
                                           CompressorCase{5, "mpeg4", "XVID"},
                                           CompressorCase{6, "h264", "H264"}),
                         [](const auto& info) { return std::string(info.param.tag).substr(0, 4) == "[0]["
                                                           ? std::string("RAW")
                                                           : std::string(info.param.tag); });

TEST(Compressors, IndexFiveIsTheXvidNamedMpeg4) {
  const CompressorInfo* c = FindCompressor(kXvidCompressor);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->name, "XviD MPEG-4 Codec");
  EXPECT_STREQ(c->fourcc, "XVID");
  EXPECT_EQ(CompressorNames().size(), static_cast<qsizetype>(Compressors().size()));
}

// An encoder that cannot take the picture is refused before any file exists.
TEST(Recorder, EncoderThatCannotOpenLeavesNoFile) {
  test::TempHome home;
  struct Case {
    int index;
    const char* why;
  } cases[] = {{3, "cannot encode 640x480"}, {99, "no compressor with index 99"}, {-1, "no compressor"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_NE(AviRecorder::Check(c.index, 640, 480, 25).find(c.why), std::string::npos);
    std::string error;
    auto r = AviRecorder::Open({home / "refused.AVI", c.index, 640, 480, 25.0, std::nullopt}, error);
    EXPECT_EQ(r, nullptr);
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(home / "refused.AVI"));
  }
  // The same compressor takes a size of its own family.
  EXPECT_EQ(AviRecorder::Check(3, 352, 288, 25), "");
}

TEST(Recorder, FolderThatCannotHoldTheFileIsAClearError) {
  test::TempHome home;
  test::WriteFile(home / "plain-file", "x");
  std::string error;
  auto r = AviRecorder::Open({home / "plain-file" / "a.AVI", 5, 320, 240, 25.0, std::nullopt}, error);
  EXPECT_EQ(r, nullptr);
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

// Sound goes into the same file as a second stream.
TEST(Recorder, AudioStreamBesideVideo) {
  test::TempHome home;
  std::atomic<bool> stop{false};
  VirtualCameraSource camera(VirtualCamera(1), {320, 240, 25}, stop);
  std::string error;
  auto r = AviRecorder::Open({home / "av.AVI", 5, 320, 240, 25.0, AudioFormat{48000, 2}}, error);
  ASSERT_TRUE(r) << error;
  std::vector<uint8_t> silence(48000 / 25 * 4);
  Frame frame;
  for (int n = 0; n < 25; ++n) {
    camera.Render(n, frame);
    ASSERT_TRUE(r->WriteVideo(frame, error)) << error;
    ASSERT_TRUE(r->WriteAudio(silence.data(), static_cast<int>(silence.size()), error)) << error;
  }
  ASSERT_TRUE(r->Close(error)) << error;
  auto streams = test::Probe(home / "av.AVI");
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(test::VideoStream(streams)->frames, 25);
  auto audio = std::find_if(streams.begin(), streams.end(), [](const auto& s) { return s.type == "audio"; });
  ASSERT_NE(audio, streams.end());
  EXPECT_EQ(audio->codec, "pcm_s16le");
}

}  // namespace
