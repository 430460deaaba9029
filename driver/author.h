// author.h: the author's run (quindle --edit). The script and every file it names are watched
// and reloaded when they change, at the same song position; keys move through the song, pause
// it and loop an order; an overlay says where the show is and what the last reload found.
// A reload either replaces the whole show or leaves it exactly as it was.
#pragma once

#include <string>

#include "driver/show.h"

// How often the watched files' modification times are read.
constexpr double watch_poll_s = 0.1;

// One frame's work in an author's run, called by the frame loop after the frame is drawn and
// before it is shown: fps and draw time (draw_s, seconds the frame took to draw), the
// overlay's text.
void author_after_draw(Show& show, Platform& platform, const SongPosition& position, double draw_s);

// A key other than Escape: Space, the arrows, Page Up/Down, Home, L, R, Tab.
// *position becomes the song's position after a jump.
void author_key(Show& show, Platform& platform, const ShowOptions& options, int key, SongPosition* position);

// Reads the watched files' times at most every watch_poll_s, and reloads once a change has
// settled (one poll with no further change: a save may come as several steps).
void author_watch(Show& show, Platform& platform, const ShowOptions& options, SongPosition* position);

// Loads the script and every file it names into a new show; when everything loads, the new
// show replaces the old one at the same song position. Otherwise the old show stays as it
// was, and the reason (file, line, what is wrong) is kept for the overlay and printed on
// standard error. True when the show was replaced.
bool author_reload(Show& show, Platform& platform, const ShowOptions& options, SongPosition* position);

// Starts watching the script and the files the show was loaded from.
void author_begin(Show& show, Platform& platform, const ShowOptions& options);

// The overlay's text for the show as it stands (position, time, rates, open layers, errors).
std::string author_overlay_text(const Show& show, const SongPosition& position);
