// sound_fixtures.h: what the sound tests share: the generated tune on disk, a window that
// records message boxes, the tune's expected (order, row) at any sample, and a set of file
// callbacks over a file in memory that fail on request.
#pragma once

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/sound.h"
#include "platform/window.h"
#include "testdata.h"
#include "tools/mod_writer.h"
#include "tools/show_assets.h"

inline std::filesystem::path write_tune(const std::string& test_name) {
  const std::filesystem::path dir = scratch_dir("sound_" + test_name);
  write_show_tune(dir);
  return dir / "tune.mod";
}

class RecordingWindow final : public WindowSystem {
 public:
  std::vector<std::pair<std::string, std::string>> boxes;  // text, caption
  SetupChoice run_setup_dialog() override { return {true, false}; }
  void message_box(std::string_view text, std::string_view caption) override {
    boxes.emplace_back(std::string(text), std::string(caption));
  }
  void screen_size(int* w, int* h) override { *w = 1024, *h = 768; }
};

struct TunePosition {
  int order = 0;
  int row = 0;
  bool operator==(const TunePosition&) const = default;
};

// The generated tune's position at sample index `sample` (44100 Hz), from its play plan.
inline TunePosition show_tune_position_at(std::int64_t sample) {
  std::int64_t row_index = sample / show_tune_samples_per_row;
  for (std::size_t i = 0;; ++i) {
    if (i == show_tune_plan.size()) i = show_tune_loop_index;
    const TuneStretch& s = show_tune_plan[i];
    if (row_index < s.end_row - s.first_row) return {s.order, s.first_row + int(row_index)};
    row_index -= s.end_row - s.first_row;
  }
}

// The position reported after mixing `mixed` samples: that of the last sample mixed.
inline TunePosition show_tune_position_after(std::int64_t mixed) {
  return mixed == 0 ? TunePosition{} : show_tune_position_at(mixed - 1);
}

// File callbacks over one in-memory file. A fault fires at the n-th call (from 0) of its
// kind; read faults either return -1 or throw std::bad_alloc.
struct FaultyFile {
  std::vector<unsigned char> bytes;
  long position = 0;
  int opens = 0, closes = 0, reads = 0, seeks = 0, tells = 0;
  int open_errno = 0;  // open fails with this errno when not 0
  int fail_read = -1, throw_read = -1, fail_seek = -1, fail_tell = -1;
  bool fault_fired = false;
};

inline FaultyFile faulty_file;

inline TuneFileCallbacks faulty_callbacks() {
  TuneFileCallbacks c;
  c.open = [](const char*) -> void* {
    if (faulty_file.open_errno) {
      errno = faulty_file.open_errno;
      return nullptr;
    }
    ++faulty_file.opens;
    faulty_file.position = 0;
    return &faulty_file;
  };
  c.close = [](void*) { ++faulty_file.closes; };
  c.read = [](void* buffer, int size, void*) -> int {
    const int call = faulty_file.reads++;
    if (call == faulty_file.throw_read) {
      faulty_file.fault_fired = true;
      throw std::bad_alloc();
    }
    if (call == faulty_file.fail_read) return faulty_file.fault_fired = true, -1;
    const long left = long(faulty_file.bytes.size()) - faulty_file.position;
    const int n = int(std::max(0L, std::min<long>(size, left)));
    if (n > 0) std::memcpy(buffer, faulty_file.bytes.data() + faulty_file.position, std::size_t(n));
    faulty_file.position += n;
    return n;
  };
  c.seek = [](void*, int position, signed char mode) -> int {
    if (faulty_file.seeks++ == faulty_file.fail_seek) return faulty_file.fault_fired = true, -1;
    const long base = mode == 0 ? 0 : mode == 1 ? faulty_file.position : long(faulty_file.bytes.size());
    if (base + position < 0) return -1;
    faulty_file.position = base + position;
    return 0;
  };
  c.tell = [](void*) -> int {
    if (faulty_file.tells++ == faulty_file.fail_tell) return faulty_file.fault_fired = true, -1;
    return int(faulty_file.position);
  };
  return c;
}

// Resets the file to `bytes` with no faults armed.
inline void faulty_reset(std::vector<unsigned char> bytes) {
  faulty_file = FaultyFile{};
  faulty_file.bytes = std::move(bytes);
}
