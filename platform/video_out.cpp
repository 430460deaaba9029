// video_out.cpp: the capture's video file: scaling, colour conversion, the two encoders and
// the muxer. Each encoder's packets go to the muxer as they come; libavformat interleaves them.
#include "platform/video_out.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

struct Codecs {
  const char* format;  // libavformat's muxer name
  const char* video;
  const char* audio;
};

Codecs codecs_of(VideoKind kind) {
  switch (kind) {
    case VideoKind::webm: return {"webm", "libvpx-vp9", "libopus"};
    case VideoKind::mkv: return {"matroska", "ffv1", "flac"};
    default: return {"mp4", "libx264", "aac"};
  }
}

std::string av_text(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

struct VideoOut {
  VideoOutSettings settings;
  std::filesystem::path temporary;
  std::string error;
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* video_stream = nullptr;
  AVStream* audio_stream = nullptr;
  AVFrame* picture = nullptr;  // in the video codec's pixel format, at the file's size
  AVFrame* sound = nullptr;    // one audio codec frame
  AVPacket* packet = nullptr;
  SwsContext* convert = nullptr;   // scaled 0x00RRGGBB to the codec's format; none when it takes them as they are
  std::vector<std::uint32_t> scaled;  // the frame at the file's size, when it must be converted
  std::vector<int> column_of;         // source column of each destination column
  std::vector<int> row_of;            // source row of each destination row
  std::vector<std::int16_t> pending;  // sound not yet a whole codec frame, interleaved
  std::int64_t frames = 0;            // pictures encoded
  std::int64_t samples = 0;           // sample frames handed to the audio codec
  bool header_written = false;
  bool finished = false;
};

int nearest_source(int d, int source, int destination) {
  return int((2 * std::int64_t(d) + 1) * source / (2 * std::int64_t(destination)));
}

bool video_kind_of(const std::string& path, VideoKind* kind) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".mp4") *kind = VideoKind::mp4;
  else if (ext == ".webm") *kind = VideoKind::webm;
  else if (ext == ".mkv") *kind = VideoKind::mkv;
  else return false;
  return true;
}

int video_kind_sample_rate(VideoKind kind) { return kind == VideoKind::webm ? 48000 : 44100; }

namespace {

bool fail(VideoOut& out, const std::string& what, int code = 0) {
  if (out.error.empty()) out.error = code ? what + ": " + av_text(code) : what;
  return false;
}

// Sends one frame (none: the end) to an encoder and every packet it gives back to the muxer.
bool encode(VideoOut& out, AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
  int result = avcodec_send_frame(codec, frame);
  if (result < 0) return fail(out, std::string("encoding with ") + codec->codec->name + " failed", result);
  for (;;) {
    result = avcodec_receive_packet(codec, out.packet);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return fail(out, std::string("encoding with ") + codec->codec->name + " failed", result);
    if (codec == out.video && out.packet->duration == 0) out.packet->duration = 1;  // one frame
    av_packet_rescale_ts(out.packet, codec->time_base, stream->time_base);
    out.packet->stream_index = stream->index;
    result = av_interleaved_write_frame(out.format, out.packet);
    if (result < 0) return fail(out, "cannot write " + out.temporary.string(), result);
  }
}

AVCodecContext* open_codec(VideoOut& out, const char* name, AVStream** stream) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (!codec) {
    fail(out, std::string("this FFmpeg has no ") + name + " encoder");
    return nullptr;
  }
  *stream = avformat_new_stream(out.format, nullptr);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (!*stream || !context) {
    fail(out, "out of memory");
    avcodec_free_context(&context);
    return nullptr;
  }
  if (out.format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  context->flags |= AV_CODEC_FLAG_BITEXACT;
  context->thread_count = out.settings.threads;
  return context;
}

bool start_codec(VideoOut& out, AVCodecContext* context, AVStream* stream, AVDictionary** options) {
  const int result = avcodec_open2(context, context->codec, options);
  av_dict_free(options);
  if (result < 0) return fail(out, std::string("cannot start the ") + context->codec->name + " encoder", result);
  if (avcodec_parameters_from_context(stream->codecpar, context) < 0) return fail(out, "out of memory");
  stream->time_base = context->time_base;
  return true;
}

bool open_video(VideoOut& out, const char* name) {
  const VideoOutSettings& s = out.settings;
  AVCodecContext* c = out.video = open_codec(out, name, &out.video_stream);
  if (!c) return false;
  c->width = s.width;
  c->height = s.height;
  c->time_base = AVRational{1, s.fps};
  c->framerate = AVRational{s.fps, 1};
  c->sample_aspect_ratio = AVRational{1, 1};
  out.video_stream->sample_aspect_ratio = c->sample_aspect_ratio;
  AVDictionary* options = nullptr;
  if (s.kind == VideoKind::mkv) {
    // Lossless RGB: the same bytes as the frame's pixels (B, G, R, 0 in memory). A fixed slice
    // count keeps the file the same however many threads encode it.
    c->pix_fmt = AV_PIX_FMT_0RGB32;
    c->level = 3;
    c->slices = 4;
    c->thread_type = FF_THREAD_SLICE;
    av_dict_set(&options, "slicecrc", "1", 0);
    av_dict_set(&options, "coder", "rice", 0);
  } else {
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    c->gop_size = 10 * s.fps;
    if (s.kind == VideoKind::mp4) {
      av_dict_set(&options, "preset", "superfast", 0);
      av_dict_set(&options, "crf", "18", 0);
      av_dict_set(&options, "profile", "high", 0);
    } else {
      av_dict_set(&options, "deadline", "realtime", 0);
      av_dict_set(&options, "cpu-used", "8", 0);
      av_dict_set(&options, "row-mt", "1", 0);
      av_dict_set(&options, "crf", "30", 0);
      c->bit_rate = 0;
    }
  }
  if (!start_codec(out, c, out.video_stream, &options)) return false;

  out.picture = av_frame_alloc();
  if (!out.picture) return fail(out, "out of memory");
  out.picture->format = c->pix_fmt;
  out.picture->width = c->width;
  out.picture->height = c->height;
  if (av_frame_get_buffer(out.picture, 0) < 0) return fail(out, "out of memory");
  if (c->pix_fmt != AV_PIX_FMT_0RGB32) {
    out.scaled.assign(std::size_t(s.width) * std::size_t(s.height), 0);
    out.convert = sws_getContext(s.width, s.height, AV_PIX_FMT_0RGB32, s.width, s.height, c->pix_fmt, SWS_POINT,
                                 nullptr, nullptr, nullptr);
    if (!out.convert) return fail(out, "cannot convert the picture to the codec's format");
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(out.convert, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
  }
  out.column_of.resize(std::size_t(s.width));
  out.row_of.resize(std::size_t(s.height));
  for (int x = 0; x < s.width; ++x) out.column_of[std::size_t(x)] = nearest_source(x, s.source_width, s.width);
  for (int y = 0; y < s.height; ++y) out.row_of[std::size_t(y)] = nearest_source(y, s.source_height, s.height);
  return true;
}

bool open_audio(VideoOut& out, const char* name) {
  AVCodecContext* c = out.audio = open_codec(out, name, &out.audio_stream);
  if (!c) return false;
  const AVCodec* codec = c->codec;
  c->sample_rate = out.settings.sample_rate;
  c->time_base = AVRational{1, out.settings.sample_rate};
  av_channel_layout_default(&c->ch_layout, 2);
  c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == AV_SAMPLE_FMT_S16) c->sample_fmt = AV_SAMPLE_FMT_S16;
  if (out.settings.kind != VideoKind::mkv) c->bit_rate = 192000;
  AVDictionary* options = nullptr;
  if (!start_codec(out, c, out.audio_stream, &options)) return false;

  out.sound = av_frame_alloc();
  if (!out.sound) return fail(out, "out of memory");
  out.sound->format = c->sample_fmt;
  out.sound->sample_rate = c->sample_rate;
  out.sound->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
  if (av_channel_layout_copy(&out.sound->ch_layout, &c->ch_layout) < 0 || av_frame_get_buffer(out.sound, 0) < 0)
    return fail(out, "out of memory");
  out.pending.reserve(std::size_t(out.sound->nb_samples) * 4 + std::size_t(out.settings.sample_rate) * 2);
  return true;
}

// Nearest-neighbour scaling into dst (stride in pixels): rows that show the same source row
// are copied from the one above.
void scale_frame(const VideoOut& out, std::span<const std::uint32_t> pixels, std::uint32_t* dst, std::size_t stride) {
  const int width = out.settings.width, source_width = out.settings.source_width;
  for (int y = 0; y < out.settings.height; ++y) {
    std::uint32_t* row = dst + std::size_t(y) * stride;
    if (y > 0 && out.row_of[std::size_t(y)] == out.row_of[std::size_t(y) - 1]) {
      std::memcpy(row, row - stride, std::size_t(width) * 4);
      continue;
    }
    const std::uint32_t* src = pixels.data() + std::size_t(out.row_of[std::size_t(y)]) * std::size_t(source_width);
    for (int x = 0; x < width; ++x) row[x] = src[out.column_of[std::size_t(x)]];
  }
}

// Moves count sample frames from the front of pending into the codec's frame and encodes it.
bool encode_sound(VideoOut& out, int count) {
  AVFrame* f = out.sound;
  if (av_frame_make_writable(f) < 0) return fail(out, "out of memory");
  f->nb_samples = count;
  const std::int16_t* in = out.pending.data();
  switch (f->format) {
    case AV_SAMPLE_FMT_S16:
      std::memcpy(f->data[0], in, std::size_t(count) * 4);
      break;
    case AV_SAMPLE_FMT_S16P:
      for (int i = 0; i < count; ++i)
        for (int ch = 0; ch < 2; ++ch) reinterpret_cast<std::int16_t*>(f->data[ch])[i] = in[2 * i + ch];
      break;
    case AV_SAMPLE_FMT_FLT:
      for (int i = 0; i < 2 * count; ++i) reinterpret_cast<float*>(f->data[0])[i] = float(in[i]) / 32768.0f;
      break;
    case AV_SAMPLE_FMT_FLTP:
      for (int i = 0; i < count; ++i)
        for (int ch = 0; ch < 2; ++ch) reinterpret_cast<float*>(f->data[ch])[i] = float(in[2 * i + ch]) / 32768.0f;
      break;
    default: return fail(out, "the audio codec wants samples in a format this program does not make");
  }
  f->pts = out.samples;
  out.samples += count;
  out.pending.erase(out.pending.begin(), out.pending.begin() + 2 * std::ptrdiff_t(count));
  return encode(out, out.audio, out.audio_stream, f);
}

}  // namespace

void VideoOutClose::operator()(VideoOut* out) const {
  if (!out) return;
  if (out->format) {
    if (out->format->pb) avio_closep(&out->format->pb);
    avformat_free_context(out->format);
  }
  avcodec_free_context(&out->video);
  avcodec_free_context(&out->audio);
  av_frame_free(&out->picture);
  av_frame_free(&out->sound);
  av_packet_free(&out->packet);
  sws_freeContext(out->convert);
  if (!out->finished) {
    std::error_code ignored;
    std::filesystem::remove(out->temporary, ignored);
  }
  delete out;
}

VideoOutPtr video_out_open(const VideoOutSettings& settings, std::string* error) {
  VideoOutPtr out(new VideoOut);
  out->settings = settings;
  const std::filesystem::path final_path(settings.path);
  out->temporary = final_path.parent_path() / ("." + final_path.filename().string() + ".part");
  const Codecs names = codecs_of(settings.kind);
  av_log_set_level(AV_LOG_QUIET);

  bool ok = avformat_alloc_output_context2(&out->format, nullptr, names.format, nullptr) >= 0;
  if (!ok) fail(*out, std::string("this FFmpeg cannot write ") + names.format + " files");
  // No random identifiers or version strings: the same show gives the same file every time.
  if (ok) out->format->flags |= AVFMT_FLAG_BITEXACT;
  ok = ok && (out->packet = av_packet_alloc()) != nullptr;
  ok = ok && open_video(*out, names.video) && open_audio(*out, names.audio);
  if (ok) {
    // The muxer reopens the file by this name to move the MP4 index to the front.
    av_freep(&out->format->url);
    out->format->url = av_strdup(out->temporary.c_str());
    const int result = avio_open(&out->format->pb, out->temporary.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) ok = fail(*out, "cannot create " + out->temporary.string(), result);
  }
  if (ok && settings.kind == VideoKind::mp4) {
    // The index goes to the front at the end, so players and video sites can start at once.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int result = avformat_write_header(out->format, &options);
    av_dict_free(&options);
    if (result < 0) ok = fail(*out, "cannot write " + out->temporary.string(), result);
  } else if (ok) {
    const int result = avformat_write_header(out->format, nullptr);
    if (result < 0) ok = fail(*out, "cannot write " + out->temporary.string(), result);
  }
  out->header_written = ok;
  if (!ok) {
    *error = out->error;
    return nullptr;
  }
  return out;
}

bool video_out_frame(VideoOut& out, std::span<const std::uint32_t> pixels, std::span<const std::int16_t> audio) {
  const VideoOutSettings& s = out.settings;
  if (pixels.size() < std::size_t(s.source_width) * std::size_t(s.source_height))
    return fail(out, "a frame is smaller than the show's picture");
  if (av_frame_make_writable(out.picture) < 0) return fail(out, "out of memory");
  if (out.convert) {
    scale_frame(out, pixels, out.scaled.data(), std::size_t(s.width));
    const std::uint8_t* planes[1] = {reinterpret_cast<const std::uint8_t*>(out.scaled.data())};
    const int strides[1] = {s.width * 4};
    sws_scale(out.convert, planes, strides, 0, s.height, out.picture->data, out.picture->linesize);
  } else {
    scale_frame(out, pixels, reinterpret_cast<std::uint32_t*>(out.picture->data[0]),
                std::size_t(out.picture->linesize[0]) / 4);
  }
  out.picture->pts = out.frames++;
  if (!encode(out, out.video, out.video_stream, out.picture)) return false;

  out.pending.insert(out.pending.end(), audio.begin(), audio.end());
  const int frame_size = out.sound->nb_samples;
  while (out.pending.size() >= std::size_t(frame_size) * 2)
    if (!encode_sound(out, frame_size)) return false;
  return true;
}

bool video_out_finish(VideoOut& out) {
  if (!out.error.empty()) return false;
  // The last, short piece of sound: as it is where the codec takes short frames, else padded.
  const int left = int(out.pending.size() / 2);
  if (left > 0) {
    const bool small_last = out.audio->codec->capabilities &
                            (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    if (!small_last) out.pending.resize(std::size_t(out.sound->nb_samples) * 2, 0);
    if (!encode_sound(out, small_last ? left : out.sound->nb_samples)) return false;
  }
  if (!encode(out, out.video, out.video_stream, nullptr) || !encode(out, out.audio, out.audio_stream, nullptr))
    return false;
  int result = av_write_trailer(out.format);
  out.header_written = false;
  if (result < 0) return fail(out, "cannot write " + out.temporary.string(), result);
  result = avio_closep(&out.format->pb);
  if (result < 0) return fail(out, "cannot write " + out.temporary.string(), result);
  std::error_code error;
  std::filesystem::rename(out.temporary, out.settings.path, error);
  if (error) return fail(out, "cannot rename " + out.temporary.string() + " to " + out.settings.path + ": " + error.message());
  out.finished = true;
  return true;
}

const std::string& video_out_error(const VideoOut& out) { return out.error; }
