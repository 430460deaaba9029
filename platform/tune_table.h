// tune_table.h: a tune's order table as the show will play it, read without an audio device:
// which orders play (skip and end markers, position jumps and pattern breaks followed as the
// sound library follows them), the rows of each order's pattern, the song time at which each
// played order is first reached, and where the song goes on after its end.
#pragma once

#include <string>
#include <vector>

#include "platform/sound_openmpt.h"

struct TuneOrder {
  int pattern = -1;         // -1 for a skip or end marker, or a pattern the tune lacks
  int rows = 0;             // the pattern's rows; 0 when there is no pattern
  bool played = false;      // reached when the song plays from its start
  int first_row = 0;        // the row at which it is first entered (a pattern break may skip rows)
  double start_s = 0;       // song time of that first entry, when played
};

struct TuneTable {
  std::vector<TuneOrder> orders;
  double length_s = 0;       // one pass from the start to the song's end
  int loop_order = -1;       // where the song goes on after its end (-1: it stops)
  int loop_row = 0;
  bool cut = false;          // the pass was longer than max_tune_table_seconds and was cut there
  TuneDamage damage;         // a file cut short: it plays as far as it goes
};

// Reads the tune at path. Returns 0 and fills table, or the sound library's error code
// (SoundError in sound.h: 9 not found, 10 not a tune, 11 damaged, 12 out of memory).
int tune_table_read(const std::string& path, TuneTable* table);

// The highest played order, -1 when none plays.
int tune_table_last_played(const TuneTable& table);
