// Sources read through libavformat: V4L2 devices, looped files, camera URLs, lavfi graphs.
#include <chrono>
#include <thread>

#include "platform/capture/FfmpegUtil.h"
#include "platform/capture/SourceImpl.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/imgutils.h>
}

namespace vigil::capture {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Blocking reads give up when the channel stops or nothing arrives for this long.
constexpr auto kIoTimeout = std::chrono::seconds(8);

class FfmpegSource final : public FrameSource {
 public:
  FfmpegSource(const SourceInfo& info, const CaptureRequest& request, const std::atomic<bool>& stop)
      : info_(info), request_(request), stop_(stop) {}

  bool Open(std::string& error);
  ReadStatus Read(Frame& frame, std::string& error) override;
  double FrameRate() const override { return fps_; }

 private:
  static int Interrupt(void* opaque) {
    auto* self = static_cast<FfmpegSource*>(opaque);
    return self->stop_ || SteadyClock::now() > self->deadline_ ? 1 : 0;
  }
  bool Paced() const { return info_.kind == SourceKind::File || info_.kind == SourceKind::Lavfi; }
  bool Rewind();
  void Convert(const AVFrame* in, Frame& out);
  void Pace(const AVFrame* in);

  SourceInfo info_;
  CaptureRequest request_;
  const std::atomic<bool>& stop_;
  SteadyClock::time_point deadline_;
  InputPtr input_;
  CodecContextPtr decoder_;
  SwsPtr sws_;
  AvFramePtr decoded_{av_frame_alloc()};
  PacketPtr packet_{av_packet_alloc()};
  int stream_ = -1;
  double fps_ = 25.0;
  AVRational timeBase_{1, 1};
  // Pacing of files and graphs: wall-clock time of pts 0, moved on at every loop.
  SteadyClock::time_point paceStart_;
  int64_t firstPts_ = AV_NOPTS_VALUE;
  double loopOffset_s_ = 0, lastPts_s_ = 0;
  bool draining_ = false;
};

bool FfmpegSource::Open(std::string& error) {
  static const bool registered = [] {
    avdevice_register_all();
    return true;
  }();
  (void)registered;
  const AVInputFormat* format = nullptr;
  AVDictionary* options = nullptr;
  std::string size = std::to_string(request_.width) + "x" + std::to_string(request_.height);
  switch (info_.kind) {
    case SourceKind::V4l2:
      format = av_find_input_format("video4linux2");
      av_dict_set(&options, "video_size", size.c_str(), 0);
      av_dict_set(&options, "framerate", std::to_string(static_cast<int>(request_.fps)).c_str(), 0);
      break;
    case SourceKind::Lavfi:
      format = av_find_input_format("lavfi");
      break;
    case SourceKind::Url:
      av_dict_set(&options, "rtsp_transport", "tcp", 0);
      av_dict_set(&options, "timeout", "5000000", 0);
      av_dict_set(&options, "rw_timeout", "5000000", 0);
      break;
    default:
      break;
  }
  AVFormatContext* ctx = avformat_alloc_context();
  ctx->interrupt_callback = {&FfmpegSource::Interrupt, this};
  deadline_ = SteadyClock::now() + kIoTimeout;
  int rc = avformat_open_input(&ctx, info_.location.c_str(), format, &options);
  av_dict_free(&options);
  if (rc < 0) {  // ctx is freed by the failed call
    error = "cannot open " + info_.location + ": " + AvError(rc);
    return false;
  }
  input_.reset(ctx);
  if ((rc = avformat_find_stream_info(ctx, nullptr)) < 0) {
    error = "cannot read " + info_.location + ": " + AvError(rc);
    return false;
  }
  const AVCodec* codec = nullptr;
  stream_ = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (stream_ < 0 || !codec) {
    error = info_.location + " has no video stream";
    return false;
  }
  AVStream* st = ctx->streams[stream_];
  decoder_.reset(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder_.get(), st->codecpar);
  decoder_->thread_count = 1;
  if ((rc = avcodec_open2(decoder_.get(), codec, nullptr)) < 0) {
    error = "cannot decode " + info_.location + ": " + AvError(rc);
    return false;
  }
  AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
  if (rate.num > 0 && rate.den > 0) fps_ = av_q2d(rate);
  if (fps_ <= 0 || fps_ > 240) fps_ = request_.fps;
  timeBase_ = st->time_base;
  paceStart_ = SteadyClock::now();
  return true;
}

bool FfmpegSource::Rewind() {
  loopOffset_s_ = lastPts_s_ + 1.0 / fps_;
  firstPts_ = AV_NOPTS_VALUE;
  avcodec_flush_buffers(decoder_.get());
  draining_ = false;
  return av_seek_frame(input_.get(), stream_, 0, AVSEEK_FLAG_BACKWARD) >= 0 ||
         avformat_seek_file(input_.get(), -1, INT64_MIN, 0, INT64_MAX, 0) >= 0;
}

void FfmpegSource::Pace(const AVFrame* in) {
  int64_t pts = in->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) return;
  if (firstPts_ == AV_NOPTS_VALUE) firstPts_ = pts;
  lastPts_s_ = loopOffset_s_ + static_cast<double>(pts - firstPts_) * av_q2d(timeBase_);
  auto due = paceStart_ + std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(lastPts_s_));
  while (!stop_ && SteadyClock::now() < due)
    std::this_thread::sleep_for(std::min<SteadyClock::duration>(due - SteadyClock::now(), std::chrono::milliseconds(50)));
}

void FfmpegSource::Convert(const AVFrame* in, Frame& out) {
  out.Resize(request_.width, request_.height);
  sws_.reset(sws_getCachedContext(sws_.release(), in->width, in->height, static_cast<AVPixelFormat>(in->format),
                                  out.width, out.height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr,
                                  nullptr));
  uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {out.stride(), 0, 0, 0};
  sws_scale(sws_.get(), in->data, in->linesize, 0, in->height, dst, dstStride);
}

ReadStatus FfmpegSource::Read(Frame& frame, std::string& error) {
  for (;;) {
    if (stop_) return ReadStatus::Ended;
    int rc = avcodec_receive_frame(decoder_.get(), decoded_.get());
    if (rc == 0) {
      if (Paced()) Pace(decoded_.get());
      Convert(decoded_.get(), frame);
      av_frame_unref(decoded_.get());
      return ReadStatus::Frame;
    }
    if (rc == AVERROR_EOF || (draining_ && rc == AVERROR(EAGAIN))) {
      if (info_.kind == SourceKind::File && Rewind()) continue;
      error = info_.location + ": stream ended";
      return ReadStatus::Ended;
    }
    if (rc != AVERROR(EAGAIN)) {
      error = info_.location + ": " + AvError(rc);
      return ReadStatus::Failed;
    }
    deadline_ = SteadyClock::now() + kIoTimeout;
    rc = av_read_frame(input_.get(), packet_.get());
    if (rc < 0) {
      if (rc == AVERROR_EOF || avio_feof(input_->pb ? input_->pb : nullptr)) {
        avcodec_send_packet(decoder_.get(), nullptr);  // drain what the decoder holds
        draining_ = true;
        continue;
      }
      error = info_.location + ": " + (stop_ ? std::string("stopped") : AvError(rc));
      return stop_ ? ReadStatus::Ended : ReadStatus::Failed;
    }
    if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_.get());
    av_packet_unref(packet_.get());
  }
}

}  // namespace

std::unique_ptr<FrameSource> OpenFfmpegSource(const SourceInfo& info, const CaptureRequest& request,
                                              const std::atomic<bool>& stop, std::string& error) {
  auto source = std::make_unique<FfmpegSource>(info, request, stop);
  if (!source->Open(error)) return nullptr;
  return source;
}

}  // namespace vigil::capture
