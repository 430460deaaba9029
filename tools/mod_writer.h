// mod_writer.h: writes 4-channel ProTracker-style modules (tag "M.K.") as byte arrays, and
// composes the sample show's tune: instruments synthesised in code, patterns and the order
// list written out note by note. Owns nothing beyond the returned values; never reads files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int mod_rows = 64;
constexpr int mod_channels = 4;
constexpr int mod_max_samples = 31;

// One pattern cell. sample 1..31 (0: keep the channel's instrument), period 0 for no note,
// effect and param as the tracker writes them (0x0 with param 0 is no effect).
struct ModCell {
  int period = 0;
  int sample = 0;
  int effect = 0;
  int param = 0;
};

struct ModPattern {
  std::array<ModCell, mod_rows * mod_channels> cells{};
  ModCell& at(int row, int channel) { return cells[std::size_t(row * mod_channels + channel)]; }
  const ModCell& at(int row, int channel) const { return cells[std::size_t(row * mod_channels + channel)]; }
};

// Signed 8-bit sample data; the loop is given in bytes (even values), loop_length 0 for none.
struct ModSample {
  std::string name;
  std::vector<std::int8_t> data;
  int volume = 64;  // 0..64
  std::size_t loop_start = 0;
  std::size_t loop_length = 0;
};

struct ModSong {
  std::string title;
  std::vector<ModSample> samples;    // at most 31; sample i is number i + 1 in the patterns
  std::vector<ModPattern> patterns;  // the first max(orders) + 1 are written
  std::vector<std::uint8_t> orders;  // 1..128 pattern numbers
};

// The bytes of the module: 20-byte title, 31 sample headers, song length, restart byte 0x7F,
// 128 order entries, "M.K.", the patterns, the sample data. Names are cut to their field,
// sample lengths to 131070 bytes (odd lengths padded with 0). Empty bytes when the song has
// no orders or more than 128, more than 31 samples, or an order names a missing pattern.
std::vector<std::uint8_t> mod_encode(const ModSong& song);

// The Amiga period of a note name "C-1" .. "B-3" (finetune 0), 0 for anything else.
int mod_period(const char* note);

// The sample show's tune (4 channels: drums, bass, lead, pads).
//
// Timing: speed 5 at tempo 125 (both set on row 0 of order 0) give 882 samples a tick at
// 44100 Hz, 4410 samples a row: exactly 0.1 s a row, 4 rows a beat, 16 rows a bar.
// Orders are played in this sequence (rows in hexadecimal as a script writes them):
//
//   order  pattern  rows played         starts at   lasts   what is heard
//   0      0        00..3F              0.0 s       6.4 s   intro: pad, hats and kick
//   1      1        00..1F, break (D)   6.4 s       3.2 s   drums, bass and pad; snare roll
//   2      2        00..3F              9.6 s       6.4 s   verse, lead melody A
//   3      3        00..3F              16.0 s      6.4 s   verse, lead melody B
//   4      2        00..3F              22.4 s      6.4 s   verse, melody A again
//   5      4        00..2F, break (D)   28.8 s      4.8 s   bridge; breaks to row 10 of order 6
//   6      5        10..3F              33.6 s      4.8 s   chorus, entered at its row 10
//   7      6        00..1F, jump (B)    38.4 s      3.2 s   chorus 2; jumps over order 8
//   8      3        never played        -           -       (skipped by the jump)
//   9      5        00..3F              41.6 s      6.4 s   chorus, whole
//   10     2        00..3F              48.0 s      6.4 s   verse, melody A
//   11     3        00..3F              54.4 s      6.4 s   verse, melody B
//   12     7        00..3F, jump (B)    60.8 s      6.4 s   outro; jumps back to order 2
//
// At 67.2 s the song continues at order 2, row 0, and from there repeats orders 2..12
// (57.6 s a round) for as long as it plays.
ModSong show_tune();

// The play sequence above as data: rows first_row .. end_row - 1 of order are played, then
// the next entry; after the last one the song goes on at show_tune_loop_index.
struct TuneStretch {
  int order;
  int first_row;
  int end_row;
};
inline constexpr std::array<TuneStretch, 12> show_tune_plan = {{
    {0, 0, 64}, {1, 0, 32}, {2, 0, 64}, {3, 0, 64}, {4, 0, 64}, {5, 0, 48},
    {6, 16, 64}, {7, 0, 32}, {9, 0, 64}, {10, 0, 64}, {11, 0, 64}, {12, 0, 64},
}};
constexpr std::size_t show_tune_loop_index = 2;  // the plan entry of order 2
constexpr int show_tune_samples_per_row = 4410;  // at 44100 Hz
