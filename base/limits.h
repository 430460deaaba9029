// limits.h: the largest input each reader accepts, in one place. A file past a limit is refused
// with its reader's error, before anything is allocated for it.
#pragma once

#include <cstddef>
#include <cstdint>

// Pictures (PCX and the other picture formats) and sequence frames.
constexpr int max_picture_side = 4096;  // pixels, width and height each
// A PNG or JPEG file read whole (a 4096 x 4096 picture stored without compression is 48 MiB).
constexpr std::size_t max_picture_file_bytes = std::size_t(64) << 20;

// Sequence files: records indexed per file (about 11 hours at 25 frames a second), and the
// length of one record (a 320 x 200 frame needs at most 129 KiB however it is packed).
constexpr std::uint32_t max_sequence_frames = std::uint32_t(1) << 20;
constexpr std::uint32_t max_sequence_record_bytes = std::uint32_t(4) << 20;

// Scene files (.3DS and native). A .3DS file counts vertices, faces and keys in 16 bits, so it
// cannot pass those three; a native file past any of them is refused as damaged.
constexpr std::int64_t max_mesh_vertices = 65535;  // per mesh
constexpr std::int64_t max_mesh_faces = 65535;     // per mesh
constexpr std::int64_t max_track_keys = 65535;     // per track
constexpr std::int64_t max_scene_nodes = 131072;   // animation nodes per scene

// Video (AVI). The engine draws 320x200 and shows the centre of a larger frame; the pixel
// limit keeps the decoder's pictures (and a codec's reference pictures) to a few megabytes.
constexpr int max_video_side = 4096;  // pixels, width and height each
constexpr std::int64_t max_video_pixels = 1024 * 1024;  // width x height
constexpr std::int64_t max_video_frames = 100000;  // chunks of the video stream
// The largest single block FFmpeg may allocate while it reads an AVI file's headers. Some
// header parts (stream names, INFO tags, codec data) are allocated at the size their chunk
// claims before they are read; a real file's are a few kilobytes, its index a few megabytes.
constexpr std::size_t max_video_header_allocation = std::size_t(16) << 20;

// Scripts: the file, its "pattern" blocks and its layer lines (a real show has a few hundred
// at most). A line is read in pieces of at most script_line_capacity characters, its line
// feed included; a longer line is read as several.
constexpr std::size_t max_script_bytes = std::size_t(4) << 20;
constexpr int max_script_blocks = 10000;
constexpr int max_script_layers = 10000;
constexpr std::size_t script_line_capacity = 255;

// Tunes (modules), read whole into memory by the module player.
constexpr std::int64_t max_tune_bytes = 64 * 1024 * 1024;
// The song time the tune table follows before it stops looking (script-check, tune-info).
constexpr double max_tune_table_seconds = 3600.0;
