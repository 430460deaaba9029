// tune_table.cpp: the order table, played through libopenmpt without output. The song is
// mixed at a low rate in short steps and the position noted after each; the exact start time
// of each entered order is then asked of the library's own seek, which plays the song from its
// start to that row (so jumps and breaks count as they do when the show plays).
#include "platform/tune_table.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/limits.h"
#include "platform/sound.h"
#include "platform/sound_session.h"

namespace {

constexpr std::int32_t step_rate_hz = 8000;
constexpr std::size_t step_frames = 32;  // 4 ms of song a step

struct Entry {
  int order;
  int row;
};

}  // namespace

int tune_table_read(const std::string& path, TuneTable* table) {
  *table = TuneTable{};
  int error = SOUND_OK;
  openmpt_module* module = tune_load(stdio_tune_callbacks(), path.c_str(), &error, &table->damage);
  if (module == nullptr) return error == SOUND_OK ? SOUND_FILE_LOAD : error;

  // As the show plays it (subsong 0), but once more after the end to see where it goes on.
  openmpt_module_select_subsong(module, 0);
  openmpt_module_set_repeat_count(module, 1);
  const int order_count = std::max(0, openmpt_module_get_num_orders(module));
  const int pattern_count = std::max(0, openmpt_module_get_num_patterns(module));
  table->orders.resize(std::size_t(order_count));
  for (int o = 0; o < order_count; ++o) {
    TuneOrder& order = table->orders[std::size_t(o)];
    const int pattern = openmpt_module_get_order_pattern(module, o);
    if (pattern >= 0 && pattern < pattern_count) {
      order.pattern = pattern;
      order.rows = openmpt_module_get_pattern_num_rows(module, pattern);
    }
  }
  table->length_s = openmpt_module_get_duration_seconds(module);

  std::vector<Entry> entries;
  std::vector<std::int16_t> buffer(step_frames);
  int last_order = -1;
  double t = 0;
  while (true) {
    const int order = openmpt_module_get_current_order(module);
    const int row = openmpt_module_get_current_row(module);
    if (t >= table->length_s && table->length_s > 0) {
      table->loop_order = order;
      table->loop_row = row;
      break;
    }
    if (order != last_order && order >= 0 && order < order_count && !table->orders[std::size_t(order)].played) {
      table->orders[std::size_t(order)].played = true;
      entries.push_back({order, row});
    }
    last_order = order;
    if (t >= max_tune_table_seconds) {
      table->cut = true;
      break;
    }
    const std::size_t got = openmpt_module_read_mono(module, step_rate_hz, step_frames, buffer.data());
    if (got == 0) break;  // the song stopped for good
    t += double(got) / step_rate_hz;
  }
  for (const Entry& entry : entries) {
    TuneOrder& order = table->orders[std::size_t(entry.order)];
    order.first_row = entry.row;
    order.start_s = openmpt_module_set_position_order_row(module, entry.order, entry.row);
  }
  openmpt_module_destroy(module);
  return SOUND_OK;
}

int tune_table_last_played(const TuneTable& table) {
  for (std::size_t o = table.orders.size(); o-- > 0;)
    if (table.orders[o].played) return int(o);
  return -1;
}
