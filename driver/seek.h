// seek.h: bringing a show to a song position exactly as a run from the song's beginning would
// have reached it. The song is rewound and mixed silently frame by frame on a grid of fps
// frames a second; in each frame every open layer moves on as drawing would move it, but
// nothing is drawn. The first grid frame at or past the position is where the show goes on.
#pragma once

#include <cstdint>
#include <string>

#include "driver/show.h"

// "5", "5.20", "0B.3F": an order and an optional row, hexadecimal as the script writes them.
bool parse_song_position(const char* text, SongPosition* out);
// "3..7": orders, hexadecimal, first not after last.
bool parse_order_range(const char* text, OrderRange* out);

// "05.20": a position written as the script and the overlay write it.
std::string format_song_position(const SongPosition& position);

// Lexical order of (order, row).
bool position_before(const SongPosition& a, const SongPosition& b);

// Seeking results.
enum SeekResult : int {
  SEEK_OK = 0,
  SEEK_NO_SONG = 1,         // no tune plays: the song stays at 00.00
  SEEK_PAST_SONG = 2,       // the order lies past the end of the order list
  SEEK_PAST_PATTERN = 3,    // the row lies past the end of its order's pattern
  SEEK_AFTER_QUIT = 4,      // the show ends at its quit order before reaching the position
  SEEK_NOT_REACHED = 5,     // the song does not get there within seek_limit_s
};

// A song that plays longer than this without reaching the position never will (it loops).
constexpr double seek_limit_s = 600;

// Whether the show's song holds the position (and the show does not end before it); SEEK_OK
// or the reason. Nothing is moved.
int seek_check(Show& show, const SongPosition& target);

// An author's message for a failed check or seek: what is wrong with `what` (the option or
// key as the author gave it) and what the song holds.
std::string seek_error_text(Show& show, int result, const SongPosition& target, const std::string& what);

// Rewinds the song and every layer, then moves both on, grid frame by grid frame, to the
// first frame at or past target. The song is left stopped there; *step receives the grid
// frame and *position the song's position in it. The show clock is read as origin_s + step / fps.
int seek_show(Show& show, const SongPosition& target, int fps, std::int64_t* step, SongPosition* position);

// Starts the song from where seek_show left it and sets the show clock and timer to read, from
// now on, what a run from the beginning reads at grid frame `step`.
void resume_after_seek(Show& show, Clock& platform_clock, int fps, std::int64_t step);

// seek_show, then capture mode's jumped_to, then resume_after_seek: the show goes on at the
// first grid frame at or past target, and *position is the song's position there.
int jump_show(Show& show, Platform& platform, const ShowOptions& options, const SongPosition& target,
              SongPosition* position);

// Checks an author's start and loop against the show's song; SEEK_OK or the reason, with
// the author's message in *message.
int check_authoring_options(Show& show, const ShowOptions& options, std::string* message);
