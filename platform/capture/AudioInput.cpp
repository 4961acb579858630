#include "platform/capture/AudioInput.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace vigil::capture {

namespace {

void AddInputs(const char* formatName, std::vector<AudioInputInfo>& out) {
  const AVInputFormat* format = av_find_input_format(formatName);
  if (!format) return;
  AVDeviceInfoList* list = nullptr;
  if (avdevice_list_input_sources(format, nullptr, nullptr, &list) >= 0 && list) {
    for (int i = 0; i < list->nb_devices; ++i) {
      const AVDeviceInfo* d = list->devices[i];
      out.push_back({formatName, d->device_name ? d->device_name : "",
                     QString::fromUtf8(d->device_description ? d->device_description : d->device_name)});
    }
  }
  avdevice_free_list_devices(&list);
}

}  // namespace

std::vector<AudioInputInfo> ListAudioInputs() {
  avdevice_register_all();
  std::vector<AudioInputInfo> out;
  AddInputs("pulse", out);
  AddInputs("alsa", out);
  return out;
}

int AudioCapture::Interrupt(void* opaque) { return static_cast<AudioCapture*>(opaque)->stop_ ? 1 : 0; }

std::unique_ptr<AudioCapture> AudioCapture::Open(const AudioInputInfo& input, Sink sink, std::string& error) {
  avdevice_register_all();
  std::unique_ptr<AudioCapture> a(new AudioCapture);
  a->sink_ = std::move(sink);
  const AVInputFormat* format = av_find_input_format(input.format.c_str());
  AVDictionary* options = nullptr;
  av_dict_set(&options, "sample_rate", "48000", 0);
  av_dict_set(&options, "channels", "2", 0);
  a->input_ = avformat_alloc_context();
  a->input_->interrupt_callback = {&AudioCapture::Interrupt, a.get()};
  int rc = avformat_open_input(&a->input_, input.device.c_str(), format, &options);
  av_dict_free(&options);
  if (rc < 0) {
    error = "cannot open sound input " + input.device + ": " + AvError(rc);
    return nullptr;
  }
  const AVCodecParameters* p = a->input_->nb_streams ? a->input_->streams[0]->codecpar : nullptr;
  if (!p || p->codec_id != AV_CODEC_ID_PCM_S16LE) {
    error = "sound input " + input.device + " does not deliver 16-bit samples";
    return nullptr;
  }
  a->format_ = {p->sample_rate, p->ch_layout.nb_channels};
  a->thread_ = std::thread([raw = a.get()] { raw->Run(); });
  return a;
}

void AudioCapture::Run() {
  PacketPtr pkt(av_packet_alloc());
  while (!stop_ && av_read_frame(input_, pkt.get()) >= 0) {
    sink_(pkt->data, pkt->size);
    av_packet_unref(pkt.get());
  }
}

AudioCapture::~AudioCapture() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (input_) avformat_close_input(&input_);
}

}  // namespace vigil::capture
