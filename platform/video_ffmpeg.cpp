// video_ffmpeg.cpp: the video-file role over libavformat, libavcodec and libswscale.
//
// Only RIFF AVI files are opened, and only after their headers were read here (video_avi.h)
// and found within the limits of base/limits.h: FFmpeg never guesses the format of a file and
// no decoder is opened for a frame size that is too large. Frame i is the chunk the index
// numbers i, a dropped (empty) chunk shows the picture before it, and random access starts at
// the key picture at or before i. libavformat only supplies the codec parameters.
#include "platform/video_ffmpeg.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "base/byte_order.h"
#include "base/limits.h"
#include "platform/video_avi.h"

namespace {

constexpr std::size_t dib_header_size = 40;

struct FormatClose {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ParametersFree {
  void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScalerFree {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct PoolFree {
  void operator()(AVBufferPool* p) const { av_buffer_pool_uninit(&p); }
};
struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

using FormatPtr = std::unique_ptr<AVFormatContext, FormatClose>;
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

void silence_library_log() { av_log_set_level(AV_LOG_QUIET); }

// One line about a video file for the show's author; nothing when messages are off.
void tell(std::FILE* messages, const std::string& path, const std::string& text) {
  if (messages) std::fprintf(messages, "quindle: %s: %s\n", path.c_str(), text.c_str());
}

// The file's AVI headers as FFmpeg's AVI reader sees them; the format is named, not probed.
FormatPtr open_avi_format(const std::string& path) {
  const AVInputFormat* avi = av_find_input_format("avi");
  if (!avi) return nullptr;
  AVFormatContext* raw = nullptr;
  // A chunk claiming a gigabyte in a file of a few kilobytes would otherwise be allocated (and
  // zeroed) before the short read fails. The limit holds for this call only (the default is
  // INT_MAX): capture's encoders allocate whole large frames.
  av_max_alloc(max_video_header_allocation);
  const int opened = avformat_open_input(&raw, path.c_str(), avi, nullptr);
  av_max_alloc(INT_MAX);
  if (opened < 0) return nullptr;
  return FormatPtr(raw);
}

// The preferred stream when it is video, else the first video stream; -1 when there is none.
int pick_video_stream(const AVFormatContext* format, int preferred) {
  auto is_video = [&](int i) {
    return i >= 0 && unsigned(i) < format->nb_streams && format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
  };
  if (is_video(preferred)) return preferred;
  for (unsigned i = 0; i < format->nb_streams; ++i)
    if (is_video(int(i))) return int(i);
  return -1;
}

bool within_frame_limits(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= max_video_side && height <= max_video_side &&
         width * height <= max_video_pixels;
}

// What all decoders of one stream share. A picture is a chunk that holds data; frame
// dwStart + c shows chunk_picture[c].
struct StreamSource {
  std::string path;
  std::FILE* messages = nullptr;  // where damage is reported; none for silence
  std::unique_ptr<AVCodecParameters, ParametersFree> codec;
  VideoStreamInfo info;
  std::vector<AviChunk> pictures;
  std::vector<std::uint32_t> picture_frame;  // the chunk number of each picture, for messages
  std::vector<std::uint32_t> chunk_picture;
  std::vector<std::uint32_t> key_picture;  // the picture that decoding of picture p starts from
  std::uint32_t largest_picture = 0;       // bytes
  std::vector<std::uint32_t> palette;      // 0x00RRGGBB, for 8-bit sources
  // Damage found while decoding is told once per stream, not once per frame.
  mutable bool damage_told = false;
};

bool is_intra_only(AVCodecID id) {
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
  return descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
}

void number_pictures(const AviVideoLayout& layout, bool intra_only, StreamSource* s) {
  std::uint32_t shown = 0;  // chunks before the first picture show the first picture
  for (std::size_t c = 0; c < layout.chunks.size(); ++c) {
    const AviChunk& chunk = layout.chunks[c];
    if (chunk.size > 0) {
      shown = std::uint32_t(s->pictures.size());
      s->pictures.push_back(chunk);
      s->picture_frame.push_back(std::uint32_t(c));
      s->largest_picture = std::max(s->largest_picture, chunk.size);
    }
    s->chunk_picture.push_back(shown);
  }
  // The first picture is always a starting point; an intra-only codec makes every one.
  std::uint32_t key = 0;
  for (std::uint32_t p = 0; p < s->pictures.size(); ++p) {
    if (intra_only || s->pictures[p].key) key = p;
    s->key_picture.push_back(key);
  }
}

void describe_avi(const AviVideoLayout& layout, const AVStream* stream, StreamSource* s) {
  s->info.dwScale = layout.scale;
  s->info.dwRate = layout.rate;
  s->info.dwStart = layout.start;
  s->info.dwLength = layout.length;
  // A header with no rate: FFmpeg's own repair (from the frame period, else 25 per second).
  if ((layout.scale == 0 || layout.rate == 0) && stream->time_base.num > 0 && stream->time_base.den > 0) {
    s->info.dwScale = std::uint32_t(stream->time_base.num);
    s->info.dwRate = std::uint32_t(stream->time_base.den);
  }
  s->palette = layout.palette;
  number_pictures(layout, is_intra_only(stream->codecpar->codec_id), s);
}

bool is_rgb16(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_RGB555LE: case AV_PIX_FMT_RGB555BE: case AV_PIX_FMT_BGR555LE: case AV_PIX_FMT_BGR555BE:
    case AV_PIX_FMT_RGB565LE: case AV_PIX_FMT_RGB565BE: case AV_PIX_FMT_BGR565LE: case AV_PIX_FMT_BGR565BE:
      return true;
    default:
      return false;
  }
}

enum class PacketRead { packet, broken, end };

class FfmpegFrameDecoder final : public FrameDecoder {
 public:
  explicit FfmpegFrameDecoder(std::shared_ptr<const StreamSource> source) : source_(std::move(source)) {}
  // False, with the reason in *problem, when the stream's codec cannot be opened.
  bool open(std::string* problem);
  const std::uint8_t* get_frame(std::int64_t index) override;

 private:
  std::int64_t picture_of(std::int64_t index) const;
  void decode_through(std::int64_t picture);
  void restart(std::int64_t key);
  bool step();
  bool step_with_delay();
  PacketRead next_packet();
  PacketRead read_chunk(const AviChunk& chunk);
  void damaged(const char* what);
  void hold(AVFrame* frame);
  bool convert_held();

  std::shared_ptr<const StreamSource> source_;
  std::unique_ptr<AVCodecContext, CodecFree> codec_;
  std::unique_ptr<AVPacket, PacketFree> packet_;
  std::unique_ptr<AVFrame, FrameFree> received_;
  std::unique_ptr<AVFrame, FrameFree> held_;  // the newest picture decoded, kept for the bitmap
  std::unique_ptr<SwsContext, ScalerFree> scaler_;
  // The scaler writes whole vector blocks, past the end of a row whose width is not a multiple
  // of its block: it converts into this padded frame, and rows are copied into the bitmap.
  std::unique_ptr<AVFrame, FrameFree> converted_;
  std::unique_ptr<AVBufferPool, PoolFree> chunk_pool_;  // chunk bytes, shared with the codec
  FilePtr file_;
  bool delay_ = false;  // the codec may hand a picture out only after later packets

  // The run: pictures fed in order from a key picture on.
  bool run_valid_ = false;
  bool draining_ = false;
  bool palette_due_ = false;
  std::int64_t next_send_ = 0;  // the next picture to feed
  std::int64_t decoded_ = -1;   // the last picture whose decoding has finished

  std::uint64_t held_serial_ = 0, dib_serial_ = 0;
  std::int64_t dib_picture_ = -1;
  int dib_width_ = 0, dib_height_ = 0, dib_bits_ = 0;
  std::vector<std::uint8_t> dib_;
};

bool FfmpegFrameDecoder::open(std::string* problem) {
  const char* codec_name = avcodec_get_name(source_->codec->codec_id);
  *problem = std::string("its codec (") + codec_name + ") cannot be decoded here; save the video with another codec";
  const AVCodec* codec = avcodec_find_decoder(source_->codec->codec_id);
  if (!codec) return false;
  codec_.reset(avcodec_alloc_context3(codec));
  if (!codec_ || avcodec_parameters_to_context(codec_.get(), source_->codec.get()) < 0) return false;
  codec_->thread_count = 1;  // frame threads would hand pictures out late
  // A size inside the stream that differs from the checked header is held to the same limit.
  codec_->max_pixels = max_video_pixels;
  if (avcodec_open2(codec_.get(), codec, nullptr) < 0) return false;
  *problem = "the video file cannot be opened for reading";
  delay_ = (codec->capabilities & AV_CODEC_CAP_DELAY) != 0;
  packet_.reset(av_packet_alloc());
  received_.reset(av_frame_alloc());
  held_.reset(av_frame_alloc());
  converted_.reset(av_frame_alloc());
  if (!packet_ || !received_ || !held_ || !converted_) return false;
  file_.reset(std::fopen(source_->path.c_str(), "rb"));
  chunk_pool_.reset(av_buffer_pool_init(std::size_t(source_->largest_picture) + AV_INPUT_BUFFER_PADDING_SIZE, nullptr));
  if (!file_ || !chunk_pool_) return false;
  problem->clear();
  return true;
}

std::int64_t FfmpegFrameDecoder::picture_of(std::int64_t index) const {
  if (source_->chunk_picture.empty() || source_->pictures.empty()) return -1;
  const std::int64_t last = std::int64_t(source_->chunk_picture.size()) - 1;
  return source_->chunk_picture[std::size_t(std::clamp<std::int64_t>(index - source_->info.dwStart, 0, last))];
}

const std::uint8_t* FfmpegFrameDecoder::get_frame(std::int64_t index) {
  const std::int64_t picture = picture_of(index);
  if (picture >= 0 && picture != dib_picture_) {
    decode_through(picture);
    if (held_serial_ != dib_serial_ && convert_held()) dib_serial_ = held_serial_;
    dib_picture_ = picture;
  }
  return dib_.empty() ? nullptr : dib_.data();
}

// Leaves held_ at the newest picture decoded up to `picture` (one that fails to decode shows
// the one before). Going on from the current run is cheaper than restarting unless the run
// lies beyond the picture or before its key picture.
void FfmpegFrameDecoder::decode_through(std::int64_t picture) {
  const std::int64_t key = source_->key_picture[std::size_t(picture)];
  if (!run_valid_ || decoded_ > picture || decoded_ < key - 1) restart(key);
  while (decoded_ < picture && step()) {
  }
}

void FfmpegFrameDecoder::restart(std::int64_t key) {
  avcodec_flush_buffers(codec_.get());
  run_valid_ = true;
  draining_ = false;
  palette_due_ = true;
  next_send_ = key;
  decoded_ = key - 1;
}

// Says once per stream that a picture could not be read or decoded; the picture before it
// stays in its place.
void FfmpegFrameDecoder::damaged(const char* what) {
  if (source_->damage_told) return;
  source_->damage_told = true;
  const std::int64_t picture = std::clamp<std::int64_t>(decoded_ + 1, 0, std::int64_t(source_->pictures.size()) - 1);
  const std::uint32_t frame = source_->picture_frame[std::size_t(picture)];
  tell(source_->messages, source_->path,
       "frame " + std::to_string(frame) + " " + what +
           ": the file is damaged. What can be decoded is shown; a damaged frame shows the one before it "
           "(said once per file).");
}

// Finishes one more picture of the run: decoded_ moves on by one. False at the end of the stream.
bool FfmpegFrameDecoder::step() {
  if (delay_) return step_with_delay();
  switch (next_packet()) {
    case PacketRead::end: return false;
    case PacketRead::broken:
      damaged("cannot be read");
      ++decoded_;
      return true;
    case PacketRead::packet: break;
  }
  AVCodecContext* codec = codec_.get();
  const int sent = avcodec_send_packet(codec, packet_.get());
  av_packet_unref(packet_.get());
  if (sent < 0) damaged("does not decode");
  if (sent >= 0)
    while (avcodec_receive_frame(codec, received_.get()) == 0) hold(received_.get());
  ++decoded_;
  return true;
}

// A codec with delay hands out pictures in order, some only after later packets or at the
// drain; the n-th picture out of the run is picture key + n.
bool FfmpegFrameDecoder::step_with_delay() {
  AVCodecContext* codec = codec_.get();
  for (;;) {
    const int got = avcodec_receive_frame(codec, received_.get());
    if (got == 0) {
      hold(received_.get());
      ++decoded_;
      return true;
    }
    if (got == AVERROR_EOF || (got == AVERROR(EAGAIN) && draining_)) {
      run_valid_ = false;  // a drained codec takes no more packets until flushed
      return false;
    }
    if (got != AVERROR(EAGAIN)) {
      damaged("does not decode");
      ++decoded_;
      return true;
    }
    switch (next_packet()) {
      case PacketRead::end:
        avcodec_send_packet(codec, nullptr);
        draining_ = true;
        break;
      case PacketRead::broken:
        damaged("cannot be read");
        ++decoded_;
        return true;
      case PacketRead::packet: {
        const int sent = avcodec_send_packet(codec, packet_.get());
        av_packet_unref(packet_.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
          damaged("does not decode");
          ++decoded_;
          return true;
        }
        break;
      }
    }
  }
}

PacketRead FfmpegFrameDecoder::next_packet() {
  if (next_send_ >= std::int64_t(source_->pictures.size())) return PacketRead::end;
  return read_chunk(source_->pictures[std::size_t(next_send_++)]);
}

// Reads a chunk into a pooled buffer that the codec may keep referring to (raw frames are
// not copied); the palette goes along with the first packet of each run.
PacketRead FfmpegFrameDecoder::read_chunk(const AviChunk& chunk) {
  if (chunk.size > unsigned(INT_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) return PacketRead::broken;
  AVBufferRef* buffer = av_buffer_pool_get(chunk_pool_.get());
  if (!buffer) return PacketRead::broken;
  if (fseeko(file_.get(), off_t(chunk.offset), SEEK_SET) != 0 ||
      std::fread(buffer->data, 1, chunk.size, file_.get()) != chunk.size) {
    av_buffer_unref(&buffer);
    return PacketRead::broken;
  }
  std::memset(buffer->data + chunk.size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  AVPacket* packet = packet_.get();
  packet->buf = buffer;
  packet->data = buffer->data;
  packet->size = int(chunk.size);
  packet->flags = chunk.key ? AV_PKT_FLAG_KEY : 0;
  packet->pts = packet->dts = next_send_ - 1;
  if (palette_due_ && !source_->palette.empty()) {
    if (std::uint8_t* side = av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE)) {
      std::uint32_t argb[AVPALETTE_COUNT] = {};
      for (std::size_t i = 0; i < source_->palette.size() && i < AVPALETTE_COUNT; ++i)
        argb[i] = 0xff000000u | source_->palette[i];
      std::memcpy(side, argb, AVPALETTE_SIZE);
    }
  }
  palette_due_ = false;
  return PacketRead::packet;
}

void FfmpegFrameDecoder::hold(AVFrame* frame) {
  av_frame_unref(held_.get());
  av_frame_move_ref(held_.get(), frame);
  ++held_serial_;
}

// Writes the held picture as the bitmap: header, then rows bottom row first, each padded to
// 4 bytes; 5-5-5 for 15- and 16-bit pictures, else blue, green, red.
bool FfmpegFrameDecoder::convert_held() {
  const AVFrame* frame = held_.get();
  const int w = frame->width, h = frame->height;
  if (!within_frame_limits(w, h) || !frame->data[0]) return false;
  const AVPixelFormat from = AVPixelFormat(frame->format);
  const bool rgb16 = is_rgb16(from);
  const AVPixelFormat to = rgb16 ? AV_PIX_FMT_RGB555LE : AV_PIX_FMT_BGR24;
  const int bits = rgb16 ? 16 : 24;
  const std::size_t row = std::size_t(w) * std::size_t(bits / 8);
  const std::size_t stride = (row + 3) & ~std::size_t(3);
  if (w != dib_width_ || h != dib_height_ || bits != dib_bits_) {
    dib_.assign(dib_header_size + stride * std::size_t(h), 0);
    store_le32(&dib_[0], dib_header_size);
    store_le32(&dib_[4], std::uint32_t(w));
    store_le32(&dib_[8], std::uint32_t(h));
    dib_[12] = 1;  // planes
    dib_[14] = std::uint8_t(bits);
    store_le32(&dib_[20], std::uint32_t(stride * std::size_t(h)));
    dib_width_ = w;
    dib_height_ = h;
    dib_bits_ = bits;
  }
  std::uint8_t* const bottom_row = dib_.data() + dib_header_size;
  const AVFrame* rows = frame;
  if (from != to) {
    scaler_.reset(sws_getCachedContext(scaler_.release(), w, h, from, w, h, to, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler_) return false;
    AVFrame* out = converted_.get();
    if (out->width != w || out->height != h || out->format != to) {
      av_frame_unref(out);
      out->width = w;
      out->height = h;
      out->format = to;
      if (av_frame_get_buffer(out, 0) < 0) return false;
    }
    if (sws_scale(scaler_.get(), frame->data, frame->linesize, 0, h, out->data, out->linesize) != h) return false;
    rows = out;
  }
  // The top row of the picture goes last.
  for (int y = 0; y < h; ++y)
    std::memcpy(bottom_row + std::size_t(h - 1 - y) * stride, rows->data[0] + std::ptrdiff_t(y) * rows->linesize[0], row);
  return true;
}

class FfmpegVideoStream final : public VideoStream {
 public:
  explicit FfmpegVideoStream(std::shared_ptr<const StreamSource> source) : source_(std::move(source)) {}

  // A stream whose first frame does not decode has no decoder.
  std::unique_ptr<FrameDecoder> open_frame_decoder() override {
    auto decoder = std::make_unique<FfmpegFrameDecoder>(source_);
    if (!decoder->open(&decoder_problem_)) return nullptr;
    if (!decoder->get_frame(source_->info.dwStart)) {
      decoder_problem_ = "its first frame cannot be decoded: the file is damaged";
      return nullptr;
    }
    return decoder;
  }

  bool info(VideoStreamInfo* out) override {
    *out = source_->info;
    return true;
  }

  std::string decoder_problem() const override { return decoder_problem_; }

 private:
  std::shared_ptr<const StreamSource> source_;
  std::string decoder_problem_;
};

// The headers of an AVI file read and checked before FFmpeg sees the file; false (with the
// reason in *problem) when it is no AVI file, has no video stream or is too large to play.
bool read_checked_layout(const std::string& path, std::FILE* messages, AviVideoLayout* layout, std::string* problem) {
  const FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    *problem = "the file cannot be opened";
    return false;
  }
  if (!avi_is_riff_avi(file.get())) {
    *problem = "not an AVI file (it does not begin with RIFF ... AVI); save the video as AVI";
    return false;
  }
  if (!avi_read_layout(file.get(), layout)) {
    *problem = "the AVI file has no video stream";
    return false;
  }
  if (*problem = avi_limits_problem(*layout); !problem->empty()) return false;
  if (layout->missing_bytes > 0)
    tell(messages, path,
         "the file is cut: its headers reach " + std::to_string(layout->missing_bytes) +
             " bytes past its end. The frames that are there are shown; a missing frame shows the one before it.");
  return true;
}

class FfmpegVideoLibrary final : public VideoLibrary {
 public:
  explicit FfmpegVideoLibrary(std::FILE* messages) : messages_(messages) {}
  void init() override { silence_library_log(); }

  // A refused file is not told on messages: the caller names it, from open_problem.
  std::unique_ptr<VideoStream> open_stream(const char* path) override {
    silence_library_log();
    problem_ = "no file named";
    if (!path) return nullptr;
    auto source = std::make_shared<StreamSource>();
    source->path = path;
    source->messages = messages_;
    AviVideoLayout layout;
    if (!read_checked_layout(source->path, messages_, &layout, &problem_)) return nullptr;
    problem_ = "the AVI headers cannot be read: the file is damaged";
    const FormatPtr format = open_avi_format(source->path);
    if (!format) return nullptr;
    problem_ = "FFmpeg finds no video stream in it";
    const int stream_index = pick_video_stream(format.get(), layout.stream_number);
    if (stream_index < 0) return nullptr;
    const AVStream* stream = format->streams[stream_index];
    source->info.width = stream->codecpar->width;
    source->info.height = std::abs(stream->codecpar->height);
    if (!within_frame_limits(source->info.width, source->info.height)) {
      problem_ = "the frame size in the stream's codec parameters is beyond the limits";
      return nullptr;
    }
    problem_ = "out of memory";
    source->codec.reset(avcodec_parameters_alloc());
    if (!source->codec || avcodec_parameters_copy(source->codec.get(), stream->codecpar) < 0) return nullptr;
    describe_avi(layout, stream, source.get());
    problem_.clear();
    return std::make_unique<FfmpegVideoStream>(std::move(source));
  }

  std::string open_problem() const override { return problem_; }

 private:
  std::FILE* messages_;
  std::string problem_;
};

}  // namespace

std::unique_ptr<VideoLibrary> make_video_library(std::FILE* messages) {
  silence_library_log();
  return std::make_unique<FfmpegVideoLibrary>(messages);
}
