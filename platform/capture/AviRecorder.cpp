#include "platform/capture/AviRecorder.h"

#include "platform/capture/Compressors.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace vigil::capture {

namespace {

constexpr auto kFlushEvery = std::chrono::milliseconds(1000);

uint32_t FourCC(const char* s) {
  return static_cast<uint32_t>(s[0]) | static_cast<uint32_t>(s[1]) << 8 | static_cast<uint32_t>(s[2]) << 16 |
         static_cast<uint32_t>(s[3]) << 24;
}

// The encoder of the compressor set up for the picture, opened; null with a message.
CodecContextPtr OpenEncoder(const CompressorInfo& c, int width, int height, double fps, bool globalHeader,
                            std::string& error) {
  const AVCodec* codec = avcodec_find_encoder_by_name(c.encoder);
  if (!codec) {
    error = std::string("compressor \"") + c.name + "\" is not available on this system";
    return nullptr;
  }
  CodecContextPtr ctx(avcodec_alloc_context3(codec));
  AVRational rate = av_d2q(fps, 1001000);
  ctx->width = width;
  ctx->height = height;
  ctx->pix_fmt = c.pixfmt;
  ctx->time_base = av_inv_q(rate);
  ctx->framerate = rate;
  ctx->gop_size = std::max(1, static_cast<int>(fps + 0.5));
  ctx->max_b_frames = 0;  // every frame leaves the encoder before the next one: clean file switches
  ctx->thread_count = 1;  // nine channels already keep every core busy
  if (c.lossy) ctx->bit_rate = BitRateFor(width, height, fps);
  if (globalHeader) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int rc = avcodec_open2(ctx.get(), codec, nullptr);
  if (rc < 0) {
    error = std::string("compressor \"") + c.name + "\" cannot encode " + std::to_string(width) + "x" +
            std::to_string(height) + ": " + AvError(rc);
    return nullptr;
  }
  return ctx;
}

}  // namespace

std::string AviRecorder::Check(int compressor, int width, int height, double fps) {
  const CompressorInfo* c = FindCompressor(compressor);
  if (!c) return "no compressor with index " + std::to_string(compressor);
  std::string error;
  OpenEncoder(*c, width, height, fps, false, error);
  return error;
}

std::unique_ptr<AviRecorder> AviRecorder::Open(const RecorderConfig& config, std::string& error) {
  std::unique_ptr<AviRecorder> r(new AviRecorder(config));
  if (!r->Start(error)) {
    r->closed_ = true;
    std::error_code ec;
    if (r->headerWritten_ || std::filesystem::exists(config.file, ec)) std::filesystem::remove(config.file, ec);
    return nullptr;
  }
  return r;
}

bool AviRecorder::Start(std::string& error) {
  const CompressorInfo* c = FindCompressor(config_.compressor);
  if (!c) {
    error = "no compressor with index " + std::to_string(config_.compressor);
    return false;
  }
  const std::string path = config_.file.string();
  int rc = avformat_alloc_output_context2(&out_, nullptr, "avi", path.c_str());
  if (rc < 0) return Failed("cannot set up " + path, rc, error);
  encoder_ = OpenEncoder(*c, config_.width, config_.height, config_.fps,
                         (out_->oformat->flags & AVFMT_GLOBALHEADER) != 0, error);
  if (!encoder_) return false;

  video_ = avformat_new_stream(out_, nullptr);
  avcodec_parameters_from_context(video_->codecpar, encoder_.get());
  video_->codecpar->codec_tag = c->fourcc[0] ? FourCC(c->fourcc) : 0;
  video_->time_base = encoder_->time_base;
  video_->avg_frame_rate = encoder_->framerate;

  if (config_.audio) {
    audio_ = avformat_new_stream(out_, nullptr);
    AVCodecParameters* p = audio_->codecpar;
    p->codec_type = AVMEDIA_TYPE_AUDIO;
    p->codec_id = AV_CODEC_ID_PCM_S16LE;
    p->sample_rate = config_.audio->sample_rate;
    av_channel_layout_default(&p->ch_layout, config_.audio->channels);
    p->bits_per_coded_sample = 16;
    p->block_align = 2 * config_.audio->channels;
    p->bit_rate = static_cast<int64_t>(p->sample_rate) * p->block_align * 8;
    audio_->time_base = AVRational{1, p->sample_rate};
  }

  if ((rc = avio_open(&out_->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0)
    return Failed("cannot create " + path, rc, error);
  if ((rc = avformat_write_header(out_, nullptr)) < 0) return Failed("cannot write " + path, rc, error);
  headerWritten_ = true;
  avio_flush(out_->pb);
  if (out_->pb->error < 0) return Failed("cannot write " + path, out_->pb->error, error);

  picture_.reset(av_frame_alloc());
  picture_->format = encoder_->pix_fmt;
  picture_->width = config_.width;
  picture_->height = config_.height;
  if ((rc = av_frame_get_buffer(picture_.get(), 0)) < 0) return Failed("out of memory", rc, error);
  lastFlush_ = std::chrono::steady_clock::now();
  return true;
}

bool AviRecorder::Failed(const std::string& what, int rc, std::string& error) {
  error = what + ": " + AvError(rc);
  return false;
}

AviRecorder::~AviRecorder() {
  if (!closed_) {
    std::string ignored;
    Close(ignored);
  }
  if (out_) {
    if (out_->pb) avio_closep(&out_->pb);
    avformat_free_context(out_);
  }
}

bool AviRecorder::Send(AVFrame* frame, std::string& error) {
  int rc = avcodec_send_frame(encoder_.get(), frame);
  if (rc < 0 && rc != AVERROR_EOF) return Failed("encoder refused a frame", rc, error);
  for (;;) {
    rc = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) return Failed("encoder failed", rc, error);
    av_packet_rescale_ts(packet_.get(), encoder_->time_base, video_->time_base);
    packet_->stream_index = video_->index;
    // Written at once, not queued for interleaving, so what is on disk is never far behind.
    rc = av_write_frame(out_, packet_.get());
    av_packet_unref(packet_.get());
    if (rc < 0 || out_->pb->error < 0) {
      broken_ = true;
      return Failed("cannot write " + config_.file.string(), rc < 0 ? rc : out_->pb->error, error);
    }
  }
}

void AviRecorder::MaybeFlush() {
  auto now = std::chrono::steady_clock::now();
  if (now - lastFlush_ < kFlushEvery) return;
  lastFlush_ = now;
  avio_flush(out_->pb);
  if (out_->pb->error < 0) broken_ = true;
}

bool AviRecorder::WriteVideo(const Frame& frame, std::string& error) {
  if (broken_ || closed_) {
    error = "file is closed: " + config_.file.string();
    return false;
  }
  int rc = av_frame_make_writable(picture_.get());
  if (rc < 0) return Failed("out of memory", rc, error);
  sws_.reset(sws_getCachedContext(sws_.release(), frame.width, frame.height, AV_PIX_FMT_BGR24, config_.width,
                                  config_.height, encoder_->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr));
  const uint8_t* src[4] = {frame.data(), nullptr, nullptr, nullptr};
  int srcStride[4] = {frame.stride(), 0, 0, 0};
  sws_scale(sws_.get(), src, srcStride, 0, frame.height, picture_->data, picture_->linesize);
  picture_->pts = frames_;
  bool ok = Send(picture_.get(), error);
  if (ok) {
    ++frames_;
    MaybeFlush();
    if (broken_) ok = Failed("cannot write " + config_.file.string(), out_->pb->error, error);
  }
  if (!ok) {
    std::string ignored;
    Close(ignored);
  }
  return ok;
}

bool AviRecorder::WriteAudio(const uint8_t* samples, int bytes, std::string& error) {
  if (!audio_ || broken_ || closed_) return false;
  PacketPtr pkt(av_packet_alloc());
  if (av_new_packet(pkt.get(), bytes) < 0) return Failed("out of memory", AVERROR(ENOMEM), error);
  std::copy(samples, samples + bytes, pkt->data);
  const int frameBytes = 2 * config_.audio->channels;
  pkt->pts = pkt->dts = samples_;
  pkt->duration = bytes / frameBytes;
  pkt->stream_index = audio_->index;
  samples_ += bytes / frameBytes;
  int rc = av_write_frame(out_, pkt.get());
  if (rc < 0 || out_->pb->error < 0) {
    broken_ = true;
    return Failed("cannot write " + config_.file.string(), rc < 0 ? rc : out_->pb->error, error);
  }
  return true;
}

bool AviRecorder::Close(std::string& error) {
  if (closed_) return !broken_;
  closed_ = true;
  bool ok = true;
  if (!broken_) ok = Send(nullptr, error);
  // Even after a write failure the trailer is tried: what fits makes the file whole, and
  // what was written before stays readable either way.
  int rc = av_write_trailer(out_);
  if (ok && (rc < 0 || out_->pb->error < 0)) ok = Failed("cannot finish " + config_.file.string(),
                                                         rc < 0 ? rc : out_->pb->error, error);
  rc = avio_closep(&out_->pb);
  if (ok && rc < 0) ok = Failed("cannot close " + config_.file.string(), rc, error);
  return ok && !broken_;
}

}  // namespace vigil::capture
