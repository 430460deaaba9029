// author.cpp: watching and reloading the show, the author's keys, and the overlay's text.
#include "driver/author.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "driver/data_files.h"
#include "driver/layers.h"
#include "driver/seek.h"
#include "driver/startup_problems.h"

namespace {

constexpr double rate_window_s = 0.5;  // fps and draw time are averaged over this long

WatchedFile file_state(const std::string& path) {
  WatchedFile file;
  file.path = path;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return file;
  file.kind = S_ISREG(st.st_mode) ? WATCHED_FILE : WATCHED_OTHER;
  file.mtime_ns = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  file.size = std::int64_t(st.st_size);
  file.inode = std::uint64_t(st.st_ino);
  return file;
}

bool same_state(const WatchedFile& a, const WatchedFile& b) {
  return a.kind == b.kind && a.mtime_ns == b.mtime_ns && a.size == b.size && a.inode == b.inode;
}

// The script, its tune and every data file it names, each once.
void watch_files_of(AuthorState& author, const std::string& script_path, const Script* script) {
  std::vector<std::string> paths{script_path};
  if (script) {
    if (!script->tune.empty()) paths.push_back(script->tune);
    for (const PatternBlock& block : script->blocks)
      for (const Layer& layer : block.layers)
        if (layer_needs_file(layer)) paths.push_back(layer.param1);
  }
  author.watched.clear();
  for (const std::string& path : paths) {
    const bool known = std::any_of(author.watched.begin(), author.watched.end(),
                                   [&](const WatchedFile& w) { return w.path == path; });
    if (!known) author.watched.push_back(file_state(path));
  }
}


// "script.txt:12: error: ...", as the script check words it.
std::string problem_at(const std::string& script_path, int line, const std::string& message) {
  if (line > 0) return script_path + ":" + std::to_string(line) + ": error: " + message;
  return script_path + ": error: " + message;
}

// A layer of the new show that takes over what a layer of the old show loaded.
struct Reuse {
  Layer* to = nullptr;
  Layer* from = nullptr;
};

// The old show's layer of the same type that loaded the same file, unchanged since, and is not
// taken yet (each loaded resource keeps its own state, so one serves one layer); or none.
Layer* reusable_layer(Show& old, const Layer& layer, const WatchedFile& state, const std::vector<Reuse>& reuse) {
  const auto loaded = std::find_if(old.author.loaded.begin(), old.author.loaded.end(),
                                   [&](const WatchedFile& w) { return w.path == layer.param1; });
  if (loaded == old.author.loaded.end() || !same_state(*loaded, state)) return nullptr;
  for (PatternBlock& block : old.script.blocks)
    for (Layer& candidate : block.layers) {
      if (candidate.type != layer.type || candidate.param1 != layer.param1) continue;
      // A scene serves any number of layers; the other resources go to one layer each.
      const bool taken =
          std::any_of(reuse.begin(), reuse.end(), [&](const Reuse& r) { return r.from == &candidate; });
      if (!taken || layer.type == LAYER_3D_MESH) return &candidate;
    }
  return nullptr;
}

// Loads what start-up loads for every layer of the new script, except what the old show holds
// from files unchanged since (listed in *reuse, taken over only when the new show replaces the
// old one); the first problem, or "". *loaded receives the state of every file named.
std::string load_new_layers(Script& script, Show& old, const std::string& script_path, VideoLibrary& video,
                            std::vector<Reuse>* reuse, std::vector<WatchedFile>* loaded) {
  SceneShelf scenes;
  for (PatternBlock& block : script.blocks)
    for (Layer& layer : block.layers) {
      if (layer.type == LAYER_UNKNOWN)
        return problem_at(script_path, layer.line, layer_load_problem(layer, layer_load_failure(LAYER_LOAD_UNKNOWN_TYPE)));
      if (!layer_needs_file(layer)) continue;
      const WatchedFile state = file_state(layer.param1);
      if (state.kind == WATCHED_MISSING)
        return problem_at(script_path, layer.line, layer_load_problem(layer, layer_load_failure(LAYER_LOAD_MISSING)));
      if (state.kind == WATCHED_OTHER)
        return problem_at(script_path, layer.line, layer_load_problem(layer, layer_load_failure(LAYER_LOAD_NOT_A_FILE)));
      loaded->push_back(state);
      if (Layer* from = reusable_layer(old, layer, state, *reuse)) {
        reuse->push_back({&layer, from});
        continue;
      }
      if (const LayerLoad load = load_layer_resource(layer, video, scenes); !load)
        return problem_at(script_path, layer.line, layer_load_problem(layer, load));
    }
  return "";
}

void set_paused(Show& show, bool paused) {
  AuthorState& author = show.author;
  if (author.paused == paused) return;
  author.paused = paused;
  show_clock_pause(show.clock, paused);
  if (show.music.song) show.music.sound->pause_song(show.music.song, paused);
}

// Jumps as jump_show does and keeps a pause; a place the song does not hold leaves the show
// where it is and says why in the overlay.
void author_jump(Show& show, Platform& platform, const ShowOptions& options, const SongPosition& target,
                 const std::string& what, SongPosition* position) {
  AuthorState& author = show.author;
  const bool paused = author.paused;
  set_paused(show, false);
  SongPosition arrived;
  const int result = jump_show(show, platform, options, target, &arrived);
  if (result == SEEK_OK) {
    *position = arrived;
    author.note.clear();
    if (show.loop && (arrived.order < show.loop->first || arrived.order > show.loop->last)) {
      show.loop.reset();
      author.note = "loop off";
    }
  } else {
    author.note = seek_error_text(show, result, target, what);
  }
  set_paused(show, paused);
}

int rows_at(Show& show, std::int32_t order) {
  if (!show.music.song || order < 0) return 0;
  return show.music.sound->get_pattern_rows(show.music.song, order);
}

// The position `delta` rows on, across pattern ends; it stops at the song's first row and at
// the last row of its last order.
SongPosition rows_on(Show& show, SongPosition from, int delta) {
  std::int32_t order = from.order;
  std::int32_t row = from.row + delta;
  while (row < 0) {
    if (order == 0 || rows_at(show, order - 1) <= 0) return SongPosition{order, 0};
    --order;
    row += rows_at(show, order);
  }
  while (row >= rows_at(show, order)) {
    if (rows_at(show, order + 1) <= 0) return SongPosition{order, std::max(0, rows_at(show, order) - 1)};
    row -= rows_at(show, order);
    ++order;
  }
  return SongPosition{order, row};
}

}  // namespace

void show_clock_pause(ShowClock& clock, bool paused) {
  if (paused == clock.paused) return;
  if (paused) {
    clock.paused_s = clock.now_s();
    clock.paused = true;
  } else {
    clock.paused = false;
    clock.offset_s = clock.paused_s - clock.base->now_s();
  }
}

void author_begin(Show& show, Platform& platform, const ShowOptions& options) {
  AuthorState& author = show.author;
  author.edit = true;
  author.home = options.start ? *options.start : options.loop ? SongPosition{options.loop->first, 0} : SongPosition{};
  watch_files_of(author, data_file_path(show.files, options.script_path), &show.script);
  for (const PatternBlock& block : show.script.blocks)
    for (const Layer& layer : block.layers)
      if (layer_needs_file(layer)) author.loaded.push_back(file_state(layer.param1));
  author.next_poll_s = platform.clock->now_s() + watch_poll_s;
  author.rate_start_s = platform.clock->now_s();
}

bool author_reload(Show& show, Platform& platform, const ShowOptions& options, SongPosition* position) {
  AuthorState& author = show.author;
  const std::string& path = options.script_path;  // as the author gave it, for messages
  std::string problem;
  std::optional<Script> script;
  std::vector<Reuse> reuse;
  std::vector<WatchedFile> loaded;
  Song* new_song = nullptr;
  // Names are looked up afresh: files may have come or gone since the last load.
  DataFiles files;
  const std::string script_file = data_file_path(files, path);
  const WatchedFile script_state = file_state(script_file);
  int failed_line = 0;
  if (script_state.kind == WATCHED_MISSING) {
    problem = problem_at(path, 0, "cannot open the script (it was deleted or renamed?)");
  } else if (script_state.kind == WATCHED_OTHER) {
    problem = problem_at(path, 0, "the script is not a file (a directory?)");
  } else if (!(script = load_script(script_file, &failed_line))) {
    problem = problem_at(path, failed_line, script_load_problem(failed_line));
  } else {
    resolve_script_files(*script, files);
    data_files_report(files, stderr, "quindle: ");
    problem = load_new_layers(*script, show, path, *platform.video, &reuse, &loaded);
  }

  // The tune is loaded anew when the script names another one or its file changed.
  const bool tune_changed = script && (script->tune != show.script.tune || author.tune_stale);
  if (problem.empty() && tune_changed && !script->tune.empty() && show.music.sound) {
    new_song = show.music.sound->load_song(script->tune.c_str());
    if (!new_song)
      problem = problem_at(path, script->tune_line, "the tune " + quoted(script->tune) +
                                        " cannot be loaded: " + error_text(show.music.sound->get_error()));
  }
  watch_files_of(author, script_file, script ? &*script : nullptr);

  if (!problem.empty()) {
    if (problem != author.error) std::fprintf(stderr, "quindle: the show was not reloaded: %s\n", problem.c_str());
    author.error = problem;
    return false;
  }

  // Everything loaded: the new show replaces the old one at the position the song had.
  const SongPosition at = *position;
  if (tune_changed) {
    if (show.music.song) show.music.sound->free_song(show.music.song);
    show.music.song = new_song;
  }
  author.tune_stale = false;
  for (const Reuse& r : reuse) {
    if (r.from->type == LAYER_3D_MESH)
      r.to->resource.scene = r.from->resource.scene;
    else
      r.to->resource = std::move(r.from->resource);
    r.to->video_decoder = std::move(r.from->video_decoder);
    r.to->video_info = r.from->video_info;
    r.to->frame_count = r.from->frame_count;
    r.to->scene_loaded_frame = r.from->scene_loaded_frame;
  }
  author.loaded = std::move(loaded);
  show.script = std::move(*script);
  show.files = std::move(files);
  show.drawn.clear();
  show.drawn.reserve(layer_total(show.script));
  if (!author.error.empty()) std::fprintf(stderr, "quindle: %s loads again\n", path.c_str());
  author.error.clear();
  const SongPosition target = seek_check(show, at) == SEEK_OK ? at : SongPosition{};
  author_jump(show, platform, options, target, "reload", position);
  return true;
}

void author_watch(Show& show, Platform& platform, const ShowOptions& options, SongPosition* position) {
  AuthorState& author = show.author;
  const double now = platform.clock->now_s();
  if (now < author.next_poll_s) return;
  author.next_poll_s = now + watch_poll_s;
  bool changed = false;
  for (WatchedFile& file : author.watched) {
    const WatchedFile state = file_state(file.path);
    if (same_state(state, file)) continue;
    // A changed tune is loaded again by the next reload that succeeds.
    if (file.path == show.script.tune) author.tune_stale = true;
    file = state;
    changed = true;
  }
  if (changed) {
    author.change_pending = true;
    return;
  }
  if (!author.change_pending) return;
  author.change_pending = false;
  author_reload(show, platform, options, position);
}

void author_key(Show& show, Platform& platform, const ShowOptions& options, int key, SongPosition* position) {
  AuthorState& author = show.author;
  const SongPosition at = *position;
  switch (key) {
    case key_space: set_paused(show, !author.paused); break;
    case key_tab: author.overlay_shown = !author.overlay_shown; break;
    case 'r':
    case 'R':
      author.tune_stale = true;  // everything, the tune too
      author_reload(show, platform, options, position);
      break;
    case 'l':
    case 'L':
      if (show.loop) show.loop.reset();
      else show.loop = OrderRange{at.order, at.order};
      author.note.clear();
      break;
    case key_home: author_jump(show, platform, options, author.home, "Home", position); break;
    case key_right: author_jump(show, platform, options, SongPosition{at.order + 1, 0}, "Right", position); break;
    case key_left: {
      // An order the song never plays brings the show back to where it was: the one before is tried.
      std::int32_t order = std::max(at.order - 1, 0);
      for (;; --order) {
        author_jump(show, platform, options, SongPosition{order, 0}, "Left", position);
        if (order == 0 || position_before(*position, at) || !author.note.empty()) break;
      }
      break;
    }
    case key_down: author_jump(show, platform, options, rows_on(show, at, 1), "Down", position); break;
    case key_up: author_jump(show, platform, options, rows_on(show, at, -1), "Up", position); break;
    case key_page_down: author_jump(show, platform, options, rows_on(show, at, 16), "Page Down", position); break;
    case key_page_up: author_jump(show, platform, options, rows_on(show, at, -16), "Page Up", position); break;
    default: break;
  }
}

void author_after_draw(Show& show, Platform& platform, const SongPosition& position, double draw_s) {
  AuthorState& author = show.author;
  const double now = platform.clock->now_s();
  ++author.rate_frames;
  author.rate_draw_s += draw_s;
  if (now - author.rate_start_s >= rate_window_s) {
    author.fps = author.rate_frames / (now - author.rate_start_s);
    author.draw_ms = 1000 * author.rate_draw_s / author.rate_frames;
    author.rate_start_s = now;
    author.rate_frames = 0;
    author.rate_draw_s = 0;
  }
  show.console->set_overlay(author.overlay_shown ? author_overlay_text(show, position) : std::string());
}

std::string author_overlay_text(const Show& show, const SongPosition& position) {
  const AuthorState& author = show.author;
  char line[160];
  std::snprintf(line, sizeof line, "%s  %.2f s  %.0f fps  draw %.1f ms", format_song_position(position).c_str(),
                timer_seconds(show.show_timer), author.fps, author.draw_ms);
  std::string text = line;
  if (author.paused) text += "  paused";
  if (show.loop) {
    std::snprintf(line, sizeof line, "  loop %02X..%02X", unsigned(show.loop->first & 0xFF),
                  unsigned(show.loop->last & 0xFF));
    text += line;
  }
  for (const LayerRef& ref : show.drawn) {
    const Layer& layer = show.script.blocks[std::size_t(ref.block)].layers[std::size_t(ref.layer)];
    std::snprintf(line, sizeof line, "\n%d.%d %s %s", ref.block, ref.layer, layer_type_name(layer.type),
                  layer_needs_file(layer) ? layer.param1.c_str() : "-");
    text += line;
  }
  if (!author.note.empty()) text += "\n" + author.note;
  if (!author.error.empty()) text += "\nreload failed: " + author.error;
  return text;
}
