// video_probe.cpp: demuxing and decoding every packet of every stream.
#include "platform/video_probe.h"

#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

void keep_frame(DecodedVideo& out, const AVFrame* frame, bool video, bool keep_pictures) {
  if (video) {
    ++out.video.frames;
    if (!keep_pictures || frame->format != AV_PIX_FMT_0RGB32) return;
    std::vector<std::uint32_t> pixels(std::size_t(frame->width) * std::size_t(frame->height));
    for (int y = 0; y < frame->height; ++y)
      std::memcpy(pixels.data() + std::size_t(y) * std::size_t(frame->width),
                  frame->data[0] + std::ptrdiff_t(y) * frame->linesize[0], std::size_t(frame->width) * 4);
    for (std::uint32_t& p : pixels) p &= 0xFFFFFF;
    out.pictures.push_back(std::move(pixels));
    return;
  }
  ++out.audio.frames;
  const int channels = frame->ch_layout.nb_channels;
  for (int i = 0; i < frame->nb_samples; ++i)
    for (int ch = 0; ch < channels; ++ch) {
      if (frame->format == AV_SAMPLE_FMT_S16)
        out.samples.push_back(reinterpret_cast<const std::int16_t*>(frame->data[0])[i * channels + ch]);
      else if (frame->format == AV_SAMPLE_FMT_S16P)
        out.samples.push_back(reinterpret_cast<const std::int16_t*>(frame->data[ch])[i]);
    }
}

}  // namespace

DecodedVideo decode_video_file(const std::string& path, bool keep_pictures) {
  DecodedVideo out;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return out;
  if (avformat_find_stream_info(format, nullptr) < 0) {
    avformat_close_input(&format);
    return out;
  }
  out.opened = true;
  out.format = format->iformat->name;
  out.duration_s = double(format->duration) / AV_TIME_BASE;
  std::vector<AVCodecContext*> decoders(format->nb_streams, nullptr);
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters* par = format->streams[i]->codecpar;
    DecodedStream& s = par->codec_type == AVMEDIA_TYPE_VIDEO ? out.video : out.audio;
    s.codec = avcodec_get_name(par->codec_id);
    s.width = par->width;
    s.height = par->height;
    s.sample_rate = par->sample_rate;
    s.channels = par->ch_layout.nb_channels;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    decoders[i] = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoders[i], par);
    avcodec_open2(decoders[i], codec, nullptr);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&](unsigned index) {
    const bool video = format->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    while (avcodec_receive_frame(decoders[index], frame) == 0) keep_frame(out, frame, video, keep_pictures);
  };
  while (av_read_frame(format, packet) >= 0) {
    const unsigned index = unsigned(packet->stream_index);
    avcodec_send_packet(decoders[index], packet);
    av_packet_unref(packet);
    drain(index);
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    avcodec_send_packet(decoders[i], nullptr);
    drain(i);
    avcodec_free_context(&decoders[i]);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avformat_close_input(&format);
  return out;
}
