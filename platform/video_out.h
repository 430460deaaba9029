// video_out.h: a captured show written as one video file through libavformat and libavcodec:
// H.264 + AAC in MP4, VP9 + Opus in WebM, FFV1 + FLAC in Matroska (lossless). Frames arrive as
// 0x00RRGGBB pixels at the show's size and are scaled to the file's size by nearest neighbour
// (no smoothing, as live mode shows them); sound arrives as interleaved 16-bit stereo. The file
// is written under a temporary name beside the final one and renamed only by video_out_finish,
// so a failed or abandoned capture leaves nothing under the final name. Not thread-safe: one
// thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

enum class VideoKind { mp4, webm, mkv };

// The kind the file name's extension asks for (.mp4, .webm, .mkv, any case); false for others.
bool video_kind_of(const std::string& path, VideoKind* kind);
// The sound rate the kind's audio codec is fed at (Opus takes 48000 Hz, the others 44100 Hz).
int video_kind_sample_rate(VideoKind kind);

struct VideoOutSettings {
  std::string path;  // the final name
  VideoKind kind = VideoKind::mp4;
  int width = 1280;  // the picture in the file; even numbers
  int height = 960;
  int source_width = 320;  // the frames handed in
  int source_height = 200;
  int fps = 30;
  int sample_rate = 44100;
  int threads = 0;  // the codecs' threads; 0: the library's choice
};

struct VideoOut;
struct VideoOutClose {
  void operator()(VideoOut* out) const;  // removes the temporary file unless finished
};
using VideoOutPtr = std::unique_ptr<VideoOut, VideoOutClose>;

// Opens the codecs and the temporary file; none, with the reason in *error, when it cannot.
VideoOutPtr video_out_open(const VideoOutSettings& settings, std::string* error);
// Encodes one frame (source_width x source_height pixels) and the sound mixed while it was
// shown (any number of samples); false after a failed write (video_out_error says why).
bool video_out_frame(VideoOut& out, std::span<const std::uint32_t> pixels, std::span<const std::int16_t> audio);
// Flushes the codecs, completes the file and renames it to its final name.
bool video_out_finish(VideoOut& out);
// Why the last call failed; empty when none did.
const std::string& video_out_error(const VideoOut& out);

// The source column (or row) that nearest-neighbour scaling shows at destination position d:
// the one under the destination pixel's centre, floor((2d + 1) x source / (2 x destination)).
int nearest_source(int d, int source, int destination);
