// mod_writer.cpp: the module encoder, the instruments of the sample show's tune synthesised
// as 8-bit waveforms, and its patterns composed note by note.
#include "tools/mod_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

constexpr std::size_t max_sample_bytes = 131070;  // 65535 words
constexpr double two_pi = 6.283185307179586;

void put_text(std::vector<std::uint8_t>& out, const std::string& text, std::size_t field) {
  for (std::size_t i = 0; i < field; ++i) out.push_back(i < text.size() ? std::uint8_t(text[i]) : 0);
}

void put_u16be(std::vector<std::uint8_t>& out, std::size_t value) {
  out.push_back(std::uint8_t(value >> 8));
  out.push_back(std::uint8_t(value));
}

std::size_t stored_length(const ModSample& sample) {
  return std::min((sample.data.size() + 1) & ~std::size_t(1), max_sample_bytes);
}

void put_sample_header(std::vector<std::uint8_t>& out, const ModSample* sample) {
  if (!sample) {
    put_text(out, "", 22);
    const std::uint8_t empty[8] = {0, 0, 0, 0, 0, 0, 0, 1};  // no data, no loop (1 word)
    out.insert(out.end(), empty, empty + 8);
    return;
  }
  const std::size_t length = stored_length(*sample);
  const std::size_t loop_start = std::min(sample->loop_start & ~std::size_t(1), length);
  const std::size_t loop_length = std::min(sample->loop_length & ~std::size_t(1), length - loop_start);
  put_text(out, sample->name, 22);
  put_u16be(out, length / 2);
  out.push_back(0);  // finetune
  out.push_back(std::uint8_t(std::clamp(sample->volume, 0, 64)));
  put_u16be(out, loop_length >= 2 ? loop_start / 2 : 0);
  put_u16be(out, loop_length >= 2 ? loop_length / 2 : 1);
}

void put_cell(std::vector<std::uint8_t>& out, const ModCell& cell) {
  out.push_back(std::uint8_t((cell.sample & 0xF0) | ((cell.period >> 8) & 0x0F)));
  out.push_back(std::uint8_t(cell.period));
  out.push_back(std::uint8_t(((cell.sample & 0x0F) << 4) | (cell.effect & 0x0F)));
  out.push_back(std::uint8_t(cell.param));
}

// ---- Instruments --------------------------------------------------------------------------

// Playback rates of the notes the instruments are tuned for (Amiga clock / period).
constexpr double rate_c3 = 3546895.0 / 214;  // drums are played at C-3
constexpr double rate_a1 = 3546895.0 / 508;  // the bass around A-1
constexpr double rate_a2 = 3546895.0 / 254;  // lead and pads around A-2

// Scales a waveform into signed 8-bit samples whose peak is `peak` (0..1).
std::vector<std::int8_t> quantise(const std::vector<double>& wave, double peak) {
  double top = 1e-9;
  for (double v : wave) top = std::max(top, std::fabs(v));
  std::vector<std::int8_t> data(wave.size());
  for (std::size_t i = 0; i < wave.size(); ++i) data[i] = std::int8_t(std::lround(wave[i] / top * peak * 127));
  return data;
}

// A deterministic noise source, so the tune is the same bytes on every machine.
struct Noise {
  std::uint32_t state = 0x2545F491u;
  double next() {
    state = state * 1664525u + 1013904223u;
    return double(state >> 8) / double(1u << 23) - 1.0;
  }
};

ModSample kick() {
  std::vector<double> wave(3300);
  double phase = 0;
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double t = double(i) / rate_c3;
    phase += two_pi * (45 + 110 * std::exp(-t / 0.03)) / rate_c3;
    wave[i] = std::sin(phase) * std::exp(-t / 0.09);
  }
  return {"kick", quantise(wave, 0.98), 64, 0, 0};
}

ModSample snare() {
  std::vector<double> wave(2800);
  Noise noise;
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double t = double(i) / rate_c3;
    wave[i] = 0.6 * noise.next() * std::exp(-t / 0.05) + 0.5 * std::sin(two_pi * 185 * t) * std::exp(-t / 0.03);
  }
  wave[0] = wave[1] = 0;  // a one-shot sample keeps replaying its first word when it ends
  return {"snare", quantise(wave, 0.9), 44, 0, 0};
}

ModSample hat() {
  std::vector<double> wave(900);
  Noise noise;
  double last = 0;
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double n = noise.next();
    wave[i] = (n - last) * std::exp(-double(i) / rate_c3 / 0.012);  // a first difference keeps the highs
    last = n;
  }
  wave[0] = wave[1] = 0;
  return {"hat", quantise(wave, 0.8), 22, 0, 0};
}

// A plucked tone over a fixed cycle: harmonics fade faster than the fundamental, then the
// tone holds. Past `hold` the envelope stands still, so the loop over the last cycles is
// seamless.
ModSample pluck(const char* name, int cycle, int harmonics, std::size_t hold, std::size_t loop_cycles,
                double decay_samples, double sustain, bool odd_only, int volume) {
  const std::size_t loop = loop_cycles * std::size_t(cycle);
  std::vector<double> wave(hold + loop);
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double t = double(std::min(i, hold));
    double v = 0;
    for (int h = 1; h <= harmonics; ++h) {
      if (odd_only && h % 2 == 0 && h > 2) continue;
      const double level = (sustain + (1 - sustain) * std::exp(-t * h / decay_samples)) / h;
      v += level * std::sin(two_pi * h * double(i % std::size_t(cycle)) / cycle);
    }
    const double attack = std::min(1.0, double(i) / 24);
    wave[i] = v * attack * (sustain + (1 - sustain) * std::exp(-t / decay_samples));
  }
  return {name, quantise(wave, 0.95), volume, hold, loop};
}

// A chord pad in just intonation: tones with `ratios` cycles per `ratios[0]` root cycles of
// 64 samples, and a second voice 1/80 higher for a slow chorus. The loop holds a whole number
// of periods of both voices; the fade-in ends before it starts.
ModSample pad(const char* name, std::array<int, 3> ratios, int volume) {
  const double root_cycle = 64;
  const std::size_t chord_period = std::size_t(root_cycle) * std::size_t(ratios[0]);
  const std::size_t loop = chord_period * 80;  // voice 2 runs 81 chord periods in it
  const std::size_t attack = 3840;
  std::vector<double> wave(attack + loop);
  for (std::size_t i = 0; i < wave.size(); ++i) {
    const double x = double(i % loop);
    double v = 0;
    for (int r : ratios) {
      const double f = double(r) / ratios[0] / root_cycle;  // cycles per sample
      v += std::sin(two_pi * f * x) + 0.2 * std::sin(2 * two_pi * f * x);
      v += 0.6 * std::sin(two_pi * f * x * 81 / 80);
    }
    wave[i] = v * std::min(1.0, double(i) / (0.25 * rate_a2));
  }
  return {name, quantise(wave, 0.95), volume, attack, loop};
}

// ---- Composition --------------------------------------------------------------------------

enum Instrument { KICK = 1, SNARE, HAT, BASS, LEAD, PAD_MINOR, PAD_MAJOR };
enum Channel { DRUMS = 0, BASSLINE = 1, MELODY = 2, CHORDS = 3 };

struct Chord {
  const char* pad_root;  // octave 2..3, where the pad sounds best
  const char* bass_root;
  const char* bass_octave;
  const char* bass_fifth;
  bool minor;
};
constexpr Chord chord_am{"A-2", "A-1", "A-2", "E-2", true};
constexpr Chord chord_f{"F-2", "F-1", "F-2", "C-2", false};
constexpr Chord chord_c{"C-3", "C-2", "C-3", "G-2", false};
constexpr Chord chord_g{"G-2", "G-1", "G-2", "D-2", false};
constexpr Chord chord_em{"E-2", "E-1", "E-2", "B-1", true};

struct Note {
  int row;
  const char* name;
};

void note(ModPattern& p, int row, int channel, const char* name, int sample) {
  ModCell& cell = p.at(row, channel);
  cell.period = mod_period(name);
  cell.sample = sample;
}

void effect(ModPattern& p, int row, int channel, int code, int param) {
  p.at(row, channel).effect = code;
  p.at(row, channel).param = param;
}

enum class Beat { intro, full, outro };

void drums(ModPattern& p, int bar, Beat beat) {
  static constexpr int full[][2] = {{0, KICK}, {2, HAT},  {4, SNARE}, {6, HAT},
                                    {8, KICK}, {10, KICK}, {12, SNARE}, {14, HAT}};
  static constexpr int intro[][2] = {{0, KICK}, {2, HAT}, {6, HAT}, {8, KICK}, {10, HAT}, {14, HAT}};
  static constexpr int outro[][2] = {{0, KICK}, {8, KICK}};
  auto place = [&](const auto& hits) {
    for (const auto& hit : hits) note(p, bar * 16 + hit[0], DRUMS, "C-3", hit[1]);
  };
  if (beat == Beat::full) place(full);
  else if (beat == Beat::intro) place(intro);
  else place(outro);
}

void bass(ModPattern& p, int bar, const Chord& c) {
  const int r = bar * 16;
  note(p, r + 0, BASSLINE, c.bass_root, BASS);
  note(p, r + 6, BASSLINE, c.bass_root, BASS);
  note(p, r + 8, BASSLINE, c.bass_octave, BASS);
  note(p, r + 10, BASSLINE, c.bass_root, BASS);
  note(p, r + 12, BASSLINE, c.bass_fifth, BASS);
  note(p, r + 14, BASSLINE, c.bass_octave, BASS);
}

void pads(ModPattern& p, std::initializer_list<Chord> chords) {
  int bar = 0;
  for (const Chord& c : chords) note(p, 16 * bar++, CHORDS, c.pad_root, c.minor ? PAD_MINOR : PAD_MAJOR);
}

void melody(ModPattern& p, std::initializer_list<Note> notes) {
  for (const Note& n : notes) note(p, n.row, MELODY, n.name, LEAD);
}

// A pattern of four bars over a progression, with drums and optionally bass.
ModPattern section(std::initializer_list<Chord> chords, Beat beat, bool with_bass) {
  ModPattern p;
  pads(p, chords);
  int bar = 0;
  for (const Chord& c : chords) {
    drums(p, bar, beat);
    if (with_bass) bass(p, bar, c);
    ++bar;
  }
  return p;
}

std::vector<ModPattern> compose() {
  std::vector<ModPattern> patterns;
  const auto verse = {chord_am, chord_f, chord_c, chord_g};
  const auto chorus = {chord_f, chord_g, chord_em, chord_am};

  ModPattern intro = section(verse, Beat::intro, false);  // 0
  // Speed 5 at tempo 125 (882 samples a tick): 0.1 s a row. Setting the tempo a player
  // starts with anyway changes nothing audible, but players take a module without tempo
  // commands for an older tracker's, whose pattern breaks ignore their row.
  effect(intro, 0, MELODY, 0xF, 5);
  effect(intro, 0, BASSLINE, 0xF, 125);
  // Amiga channels are hard left, right, right, left; bring drums and bass to the middle
  // and the lead and pads near it, so the tune sits well on headphones.
  effect(intro, 0, DRUMS, 0x8, 0x80);
  effect(intro, 1, BASSLINE, 0x8, 0x80);
  effect(intro, 1, MELODY, 0x8, 0xA0);
  effect(intro, 0, CHORDS, 0x8, 0x60);
  for (int row : {56, 60, 62}) note(intro, row, DRUMS, "C-3", SNARE);
  patterns.push_back(intro);

  ModPattern build = section({chord_am, chord_f}, Beat::full, true);  // 1
  for (int row : {28, 29, 30, 31}) note(build, row, DRUMS, "C-3", SNARE);
  effect(build, 31, CHORDS, 0xD, 0x00);  // break to row 0 of the next order
  patterns.push_back(build);

  ModPattern verse_a = section(verse, Beat::full, true);  // 2
  melody(verse_a, {{0, "A-2"}, {4, "C-3"}, {6, "E-3"}, {8, "D-3"}, {12, "C-3"}, {14, "B-2"},
                   {16, "A-2"}, {22, "C-3"}, {24, "F-3"}, {28, "E-3"},
                   {32, "E-3"}, {36, "D-3"}, {38, "C-3"}, {40, "G-2"}, {44, "C-3"}, {46, "D-3"},
                   {48, "D-3"}, {52, "B-2"}, {54, "G-2"}, {56, "A-2"}, {60, "B-2"}});
  patterns.push_back(verse_a);

  ModPattern verse_b = section(verse, Beat::full, true);  // 3
  melody(verse_b, {{0, "E-3"}, {4, "A-3"}, {8, "G-3"}, {10, "E-3"}, {12, "D-3"},
                   {16, "C-3"}, {20, "F-3"}, {24, "E-3"}, {26, "D-3"}, {28, "C-3"},
                   {32, "G-3"}, {36, "E-3"}, {40, "C-3"}, {44, "E-3"},
                   {48, "D-3"}, {52, "G-3"}, {56, "B-2"}, {60, "D-3"}});
  patterns.push_back(verse_b);

  ModPattern bridge = section(verse, Beat::intro, true);  // 4
  melody(bridge, {{0, "A-2"}, {8, "E-3"}, {16, "F-3"}, {24, "C-3"}, {32, "G-3"}, {40, "E-3"}});
  for (int row : {44, 45, 46, 47}) note(bridge, row, DRUMS, "C-3", SNARE);
  effect(bridge, 47, CHORDS, 0xD, 0x16);  // break to row 16 (0x10) of the next order
  patterns.push_back(bridge);

  ModPattern chorus_a = section(chorus, Beat::full, true);  // 5
  melody(chorus_a, {{0, "C-3"}, {4, "F-3"}, {12, "E-3"},
                    {16, "D-3"}, {20, "G-3"}, {28, "D-3"},
                    {32, "B-2"}, {36, "E-3"}, {40, "G-3"}, {44, "E-3"},
                    {48, "C-3"}, {52, "E-3"}, {56, "A-3"}});
  patterns.push_back(chorus_a);

  ModPattern chorus_b = section(chorus, Beat::full, true);  // 6
  melody(chorus_b, {{0, "A-3"}, {4, "G-3"}, {8, "F-3"}, {12, "C-3"},
                    {16, "B-2"}, {20, "D-3"}, {24, "G-3"}, {28, "D-3"}});
  effect(chorus_b, 31, CHORDS, 0xB, 9);  // jump to order 9, over order 8
  patterns.push_back(chorus_b);

  ModPattern outro = section(verse, Beat::outro, true);  // 7
  melody(outro, {{0, "E-3"}, {16, "C-3"}, {32, "G-2"}, {48, "B-2"}});
  effect(outro, 63, CHORDS, 0xB, 2);  // back to order 2
  patterns.push_back(outro);
  return patterns;
}

}  // namespace

std::vector<std::uint8_t> mod_encode(const ModSong& song) {
  if (song.orders.empty() || song.orders.size() > 128 || song.samples.size() > mod_max_samples) return {};
  const int pattern_count = *std::max_element(song.orders.begin(), song.orders.end()) + 1;
  if (std::size_t(pattern_count) > song.patterns.size()) return {};

  std::vector<std::uint8_t> out;
  put_text(out, song.title, 20);
  for (int i = 0; i < mod_max_samples; ++i)
    put_sample_header(out, std::size_t(i) < song.samples.size() ? &song.samples[std::size_t(i)] : nullptr);
  out.push_back(std::uint8_t(song.orders.size()));
  out.push_back(0x7F);
  for (std::size_t i = 0; i < 128; ++i) out.push_back(i < song.orders.size() ? song.orders[i] : 0);
  put_text(out, "M.K.", 4);
  for (int p = 0; p < pattern_count; ++p)
    for (const ModCell& cell : song.patterns[std::size_t(p)].cells) put_cell(out, cell);
  for (const ModSample& sample : song.samples) {
    const std::size_t length = stored_length(sample);
    for (std::size_t i = 0; i < length; ++i)
      out.push_back(i < sample.data.size() ? std::uint8_t(sample.data[i]) : 0);
  }
  return out;
}

int mod_period(const char* note) {
  static constexpr int periods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                      428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                      214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
  static constexpr const char* names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
  if (!note || std::strlen(note) != 3 || note[2] < '1' || note[2] > '3') return 0;
  for (int i = 0; i < 12; ++i)
    if (note[0] == names[i][0] && note[1] == names[i][1]) return periods[(note[2] - '1') * 12 + i];
  return 0;
}

ModSong show_tune() {
  ModSong song;
  song.title = "quindle sample tune";
  song.samples = {kick(),
                  snare(),
                  hat(),
                  pluck("bass", 64, 8, 1792, 4, 400, 0.55, false, 46),
                  pluck("lead", 32, 7, 4864, 8, 1500, 0.45, true, 34),
                  pad("pad minor", {10, 12, 15}, 22),
                  pad("pad major", {4, 5, 6}, 22)};
  song.patterns = compose();
  song.orders = {0, 1, 2, 3, 2, 4, 5, 6, 3, 5, 2, 3, 7};
  return song;
}
