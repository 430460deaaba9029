// show.cpp: start-up in its fixed order, and the two shutdowns. Every start-up failure is
// reported in a message box and ends the run at once, releasing nothing it opened.
#include "driver/show.h"

#include <cstdio>

#include "driver/author.h"
#include "driver/layers.h"
#include "driver/seek.h"
#include "driver/startup_problems.h"
#include "render/screen.h"

namespace {

// Loads every layer's resource, block by block and layer by layer, naming on standard error
// each file that loads damaged; false, with the first layer that has no resource named there
// too, when one fails.
bool load_resources(Script& script, VideoLibrary& video, const std::string& script_path) {
  SceneShelf scenes;
  for (PatternBlock& block : script.blocks)
    for (Layer& layer : block.layers) {
      const LayerLoad load = load_layer_resource(layer, video, scenes);
      if (!load) {
        std::fprintf(stderr, "quindle: %s", problem_line(script_path, layer.line, layer_load_problem(layer, load)).c_str());
        return false;
      }
      if (const std::string warning = layer_load_warning(layer, load); !warning.empty())
        std::fprintf(stderr, "quindle: %s", problem_line(script_path, layer.line, warning, "warning").c_str());
    }
  return true;
}

void open_display(Show& show, WindowSystem& window, PixelToolkit& toolkit, bool fullscreen) {
  show.format = display_pixel_format;
  show.console = toolkit.create_console();
  show.console->set_option("DirectX");
  show.console->set_option(fullscreen ? "fullscreen output" : "windowed output");
  show.console->set_option("center window");
  show.console->open("quindle07 super fast demo", frame_width, frame_height, show.format);
  show.surface = surface_create(frame_width, frame_height, show.format);
  int screen_w = 0, screen_h = 0;
  window.screen_size(&screen_w, &screen_h);
  show.console->place_window(screen_w / 2 - 320, screen_h / 2 - 240, 640, 480);
}

}  // namespace

std::size_t layer_total(const Script& script) {
  std::size_t total = 0;
  for (const PatternBlock& block : script.blocks) total += block.layers.size();
  return total;
}

int run_show(Platform& platform, const ShowOptions& options) {
  const SetupChoice choice = options.answer ? *options.answer : platform.window->run_setup_dialog();
  if (!choice.run) return exit_dialog_cancelled;

  platform.video->init();

  Show show;
  int failed_line = 0;
  std::string why;
  std::optional<Script> script = load_script(data_file_path(show.files, options.script_path), &failed_line, &why);
  if (script) resolve_script_files(*script, show.files);
  data_files_report(show.files, stderr, "quindle: ");
  if (!script) {
    std::fprintf(stderr, "quindle: %s",
                 problem_line(options.script_path, failed_line, why.empty() ? script_load_problem(failed_line) : why).c_str());
    platform.window->message_box("script loading failed", "error");
    return exit_startup_failed;
  }
  show.script = std::move(*script);

  if (!load_resources(show.script, *platform.video, options.script_path)) {
    platform.window->message_box("null pointer error", "error in script -> loading data");
    return exit_startup_failed;
  }

  // Beside the message box, standard error says which tune, where it is named, and why.
  if (!music_start(show.music, *platform.sound, *platform.window, show.script.tune)) {
    const std::string problem = tune_problem(show.script.tune, platform.sound->get_error());
    std::fprintf(stderr, "quindle: %s",
                 problem_line(options.script_path, show.script.tune_line, problem, "warning").c_str());
  }
  std::string message;
  if (check_authoring_options(show, options, &message) != SEEK_OK) {
    std::fprintf(stderr, "quindle: %s\n", message.c_str());
    music_stop(show.music);
    return exit_bad_position;
  }
  set_screen_size(frame_width, frame_height);
  show.frame_buffer.assign(frame_pixels, 0);
  show.work_buffer.assign(frame_pixels, 0);
  show.drawn.reserve(layer_total(show.script));
  open_display(show, *platform.window, *platform.toolkit, choice.fullscreen);
  show.clock.base = platform.clock;
  show.origin_s = platform.clock->now_s();
  show.loop = options.loop;
  if (options.start || options.loop) {
    // With a loop and no start, the show starts where the loop does.
    const SongPosition start = options.start ? *options.start : SongPosition{options.loop->first, 0};
    SongPosition position;
    if (const int result = jump_show(show, platform, options, start, &position); result != SEEK_OK) {
      std::fprintf(stderr, "quindle: %s\n",
                   seek_error_text(show, result, start, "--start " + format_song_position(start)).c_str());
      show.console->close();
      music_stop(show.music);
      return exit_bad_position;
    }
    if (options.loop && (position.order < options.loop->first || position.order > options.loop->last)) {
      std::fprintf(stderr, "quindle: --loop %02X..%02X: the song never plays these orders (it goes on at %s)\n",
                   unsigned(options.loop->first & 0xFF), unsigned(options.loop->last & 0xFF),
                   format_song_position(position).c_str());
      show.console->close();
      music_stop(show.music);
      return exit_bad_position;
    }
  } else {
    music_play(show.music);
    timer_start(show.show_timer, show.clock);
  }
  if (options.edit) author_begin(show, platform, options);

  if (run_timeline(show, platform, options) == TimelineEnd::escape) {
    show.console->close();
    show.surface = Surface();
    show.console.reset();
    return exit_escape;
  }

  music_stop(show.music);
  timer_stop(show.show_timer);
  show.surface = Surface();
  show.console.reset();
  show.frame_buffer = {};
  show.work_buffer = {};
  return exit_show_ended;
}
