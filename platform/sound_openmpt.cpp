// sound_openmpt.cpp: the set-up calls shared by both libraries, and the tune loader: the
// program's file callbacks adapted to libopenmpt's stream callbacks, the format probe, the
// extent check, and the module's playing settings.
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/limits.h"
#include "platform/sound_session.h"

namespace {

// The C library's file functions, used when the program handed no callbacks.
void* stdio_open(const char* name) { return std::fopen(name, "rb"); }
void stdio_close(void* handle) { std::fclose(static_cast<std::FILE*>(handle)); }
int stdio_read(void* buffer, int size, void* handle) {
  auto* file = static_cast<std::FILE*>(handle);
  const std::size_t got = std::fread(buffer, 1, std::size_t(size), file);
  return got == 0 && std::ferror(file) ? -1 : int(got);
}
int stdio_seek(void* handle, int position, signed char mode) {
  return std::fseek(static_cast<std::FILE*>(handle), position, mode);
}
int stdio_tell(void* handle) {
  const long position = std::ftell(static_cast<std::FILE*>(handle));
  return position > INT_MAX ? -1 : int(position);
}

bool callbacks_complete(const TuneFileCallbacks& c) { return c.open && c.close && c.read && c.seek && c.tell; }
bool callbacks_empty(const TuneFileCallbacks& c) { return !c.open && !c.close && !c.read && !c.seek && !c.tell; }

// One open tune as libopenmpt's stream. The program's callbacks are plain functions that may
// still throw; nothing is let through to the library, and the first failure is remembered.
struct TuneStream {
  const TuneFileCallbacks* callbacks = nullptr;
  void* handle = nullptr;
  bool io_failed = false;
  bool out_of_memory = false;

  template <typename F>
  bool guarded(F&& call) {
    try {
      call();
      return true;
    } catch (const std::bad_alloc&) {
      out_of_memory = true;
    } catch (...) {
      io_failed = true;
    }
    return false;
  }
};

// Reads until bytes are in or the file ends; a callback's short read means the end.
std::size_t stream_read(void* stream, void* dst, std::size_t bytes) {
  auto* s = static_cast<TuneStream*>(stream);
  std::size_t total = 0;
  while (total < bytes && !s->io_failed && !s->out_of_memory) {
    const int want = int(std::min<std::size_t>(bytes - total, 1u << 30));
    int got = 0;
    if (!s->guarded([&] { got = s->callbacks->read(static_cast<char*>(dst) + total, want, s->handle); })) break;
    if (got < 0 || got > want) {
      s->io_failed = true;
      break;
    }
    if (got == 0) break;
    total += std::size_t(got);
  }
  return total;
}

int stream_seek(void* stream, std::int64_t offset, int whence) {
  auto* s = static_cast<TuneStream*>(stream);
  int result = -1;
  if (offset >= INT_MIN && offset <= INT_MAX)
    s->guarded([&] { result = s->callbacks->seek(s->handle, int(offset), static_cast<signed char>(whence)); });
  if (result != 0) {
    s->io_failed = true;
    return -1;
  }
  return 0;
}

std::int64_t stream_tell(void* stream) {
  auto* s = static_cast<TuneStream*>(stream);
  int position = -1;
  s->guarded([&] { position = s->callbacks->tell(s->handle); });
  if (position < 0) {
    s->io_failed = true;
    return -1;
  }
  return position;
}

bool stream_read_at(void* stream, std::int64_t offset, void* buffer, std::size_t size) {
  return stream_seek(stream, offset, SEEK_SET) == 0 && stream_read(stream, buffer, size) == size;
}

int stream_failure(const TuneStream& s, int otherwise) {
  if (s.out_of_memory) return SOUND_NO_MEMORY;
  if (s.io_failed) return SOUND_FILE_LOAD;
  return otherwise;
}

// The file's size, with the stream left at its start; -1 when seek or tell fail.
std::int64_t stream_size(TuneStream& s) {
  if (stream_seek(&s, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = stream_tell(&s);
  if (size < 0 || stream_seek(&s, 0, SEEK_SET) != 0) return -1;
  return size;
}

// libopenmpt's loaders accept nearly anything and report every failure alike, so the
// header is probed first: a file it does not recognise is not a module (10), while a load
// that fails after a passed probe is a damaged one (11).
int probe_tune(TuneStream& s, std::int64_t size) {
  if (size == 0) return SOUND_FILE_FORMAT;
  const std::size_t wanted = openmpt_probe_file_header_get_recommended_size();
  std::vector<unsigned char> head(std::min<std::size_t>(std::size_t(size), wanted));
  if (stream_read(&s, head.data(), head.size()) != head.size()) return stream_failure(s, SOUND_FILE_LOAD);
  int error = OPENMPT_ERROR_OK;
  const int probe = openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, head.data(), head.size(),
                                              std::uint64_t(size), openmpt_log_func_silent, nullptr, nullptr,
                                              nullptr, &error, nullptr);
  switch (probe) {
    case OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS: return SOUND_OK;
    case OPENMPT_PROBE_FILE_HEADER_RESULT_WANTMOREDATA:  // undecided on less than the whole file
      return head.size() < std::size_t(size) ? SOUND_OK : SOUND_FILE_FORMAT;
    case OPENMPT_PROBE_FILE_HEADER_RESULT_FAILURE: return SOUND_FILE_FORMAT;
    default: return error == OPENMPT_ERROR_OUT_OF_MEMORY ? SOUND_NO_MEMORY : SOUND_FILE_LOAD;
  }
}

// Subsong 0, looping forever at the song's end (following the tune's own jumps and restart
// position), and no dither, so the same tune always gives the same samples.
bool configure_module(openmpt_module* module) {
  return openmpt_module_select_subsong(module, 0) && openmpt_module_set_repeat_count(module, -1) &&
         openmpt_module_ctl_set_integer(module, "dither", 0);
}

int load_from_stream(TuneStream& s, openmpt_module** out, TuneDamage* damage) {
  const std::int64_t size = stream_size(s);
  if (size < 0) return stream_failure(s, SOUND_FILE_LOAD);
  damage->file_bytes = size;
  if (size > max_tune_bytes) return SOUND_FILE_LOAD;
  if (const int code = probe_tune(s, size); code != SOUND_OK) return code;

  // A cut tune is still handed to the module player, which plays what is there.
  const TuneReader reader{stream_read_at, &s, size};
  *damage = tune_damage(reader);
  if (stream_seek(&s, 0, SEEK_SET) != 0) return stream_failure(s, SOUND_FILE_LOAD);

  const openmpt_stream_callbacks adapter{stream_read, stream_seek, stream_tell};
  int error = OPENMPT_ERROR_OK;
  openmpt_module* module = openmpt_module_create2(adapter, &s, openmpt_log_func_silent, nullptr, nullptr, nullptr,
                                                  &error, nullptr, nullptr);
  // A failed read may only have shortened what libopenmpt saw, so it fails the load too.
  if (!module || s.io_failed || s.out_of_memory || !configure_module(module)) {
    if (module) openmpt_module_destroy(module);
    return stream_failure(s, error == OPENMPT_ERROR_OUT_OF_MEMORY ? SOUND_NO_MEMORY : SOUND_FILE_LOAD);
  }
  *out = module;
  return SOUND_OK;
}

// One line on standard error for a tune that is too large or cut short.
void tell_load_problem(const std::string& name, const TuneDamage& damage, bool loaded) {
  if (damage.file_bytes > max_tune_bytes) {
    std::fprintf(stderr, "quindle: %s is %lld bytes; tunes of up to %lld bytes are played\n", name.c_str(),
                 static_cast<long long>(damage.file_bytes), static_cast<long long>(max_tune_bytes));
    return;
  }
  const std::string text = tune_damage_text(name, damage);
  if (text.empty()) return;
  std::fprintf(stderr, "quindle: %s. %s\n", text.c_str(),
               loaded ? "What is there plays; the parts past the cut are silent." : "It cannot be played.");
}

}  // namespace

Song::~Song() {
  if (module) openmpt_module_destroy(module);
}

openmpt_module* tune_load(const TuneFileCallbacks& callbacks, const char* name, int* error, TuneDamage* damage) {
  TuneDamage unused;
  if (!damage) damage = &unused;
  *damage = TuneDamage{};
  TuneStream stream;
  stream.callbacks = &callbacks;
  errno = 0;
  if (name && !stream.guarded([&] { stream.handle = callbacks.open(name); })) {
    *error = stream_failure(stream, SOUND_FILE_NOT_FOUND);
    return nullptr;
  }
  if (!stream.handle) {
    // fopen reports a failed allocation of its own buffer through errno.
    *error = errno == ENOMEM ? SOUND_NO_MEMORY : SOUND_FILE_NOT_FOUND;
    return nullptr;
  }
  openmpt_module* module = nullptr;
  try {
    *error = load_from_stream(stream, &module, damage);
  } catch (const std::bad_alloc&) {
    *error = SOUND_NO_MEMORY;
  }
  // The module holds everything it needs once loaded; the file is closed either way.
  void* handle = stream.handle;
  stream.guarded([&] { callbacks.close(handle); });
  return module;
}

void session_set_output(SoundSession& session, int output) {
  if (session.setup.initialised) session.error = SOUND_INIT_AFTER_INIT;
  else session.setup.output = output;
}

void session_set_callbacks(SoundSession& session, const TuneFileCallbacks& callbacks) {
  if (session.setup.initialised) {
    session.error = SOUND_INIT_AFTER_INIT;
  } else if (!callbacks_complete(callbacks) && !callbacks_empty(callbacks)) {
    session.error = SOUND_PARAMETER;  // a partial set would leave the library half on its own
  } else {
    session.callbacks = callbacks;
    session.setup.callbacks_set = callbacks_complete(callbacks);
  }
}

void session_set_driver(SoundSession& session, int driver) {
  if (session.setup.initialised) session.error = SOUND_INIT_AFTER_INIT;
  else session.setup.driver = driver;
}

void session_set_mixer(SoundSession& session, int mixer) {
  if (session.setup.initialised) session.error = SOUND_INIT_AFTER_INIT;
  else session.setup.mixer = mixer;
}

bool session_init(SoundSession& session, int rate_hz, int channels, unsigned flags) {
  if (session.setup.initialised) {
    session.error = SOUND_INIT_AFTER_INIT;
    return false;
  }
  if (rate_hz < 8000 || rate_hz > 192000 || channels < 1) {
    session.error = SOUND_PARAMETER;
    return false;
  }
  session.setup.rate_hz = rate_hz;
  session.setup.channels = channels;
  session.setup.flags = flags;
  session.setup.initialised = true;
  session.error = SOUND_OK;
  return true;
}

const TuneFileCallbacks& stdio_tune_callbacks() {
  static const TuneFileCallbacks stdio{stdio_open, stdio_close, stdio_read, stdio_seek, stdio_tell};
  return stdio;
}

Song* session_load(SoundSession& session, const char* name) {
  if (!session.setup.initialised) {
    session.error = SOUND_NOT_INITIALISED;
    return nullptr;
  }
  const TuneFileCallbacks& callbacks =
      callbacks_complete(session.callbacks) ? session.callbacks : stdio_tune_callbacks();
  try {
    auto song = std::make_unique<Song>();
    int error = SOUND_OK;
    TuneDamage damage;
    song->module = tune_load(callbacks, name, &error, &damage);
    session.error = error;
    tell_load_problem(name ? name : "", damage, song->module != nullptr);
    if (!song->module) return nullptr;
    session.songs.push_back(std::move(song));
    return session.songs.back().get();
  } catch (const std::bad_alloc&) {
    session.error = SOUND_NO_MEMORY;
    return nullptr;
  }
}

bool session_owns(const SoundSession& session, const Song* song) {
  return song && std::any_of(session.songs.begin(), session.songs.end(),
                             [song](const std::unique_ptr<Song>& s) { return s.get() == song; });
}

bool session_free(SoundSession& session, Song* song) {
  const auto it = std::find_if(session.songs.begin(), session.songs.end(),
                               [song](const std::unique_ptr<Song>& s) { return song && s.get() == song; });
  if (it == session.songs.end()) {
    session.error = SOUND_PARAMETER;
    return false;
  }
  session.songs.erase(it);
  return true;
}

int session_pattern_rows(const SoundSession& session, Song* song, int order) {
  if (!session_owns(session, song) || order < 0 || order >= openmpt_module_get_num_orders(song->module)) return 0;
  const int pattern = openmpt_module_get_order_pattern(song->module, order);
  if (pattern < 0 || pattern >= openmpt_module_get_num_patterns(song->module)) return 0;
  return openmpt_module_get_pattern_num_rows(song->module, pattern);
}

bool session_rewind(SoundSession& session, Song* song) {
  if (!session_owns(session, song)) {
    session.error = SOUND_PARAMETER;
    return false;
  }
  openmpt_module_set_position_seconds(song->module, 0.0);
  song->skipped = 0;
  return true;
}

// The same allowance as the offline mixer's, so that skipping to n / fps and then rendering
// from there mixes exactly the samples a run from the beginning would.
bool session_skip(SoundSession& session, Song* song, const Song* playing, int rate_hz, double t_s) {
  if (!session_owns(session, song) || song == playing) {
    session.error = SOUND_PARAMETER;
    return false;
  }
  const std::int64_t target = std::int64_t(std::floor(t_s * rate_hz + 1e-6));
  // Mixed in stereo as playing does, so the sound after the skip is the same too.
  std::int16_t block[2 * 2048];
  while (song->skipped < target) {
    const std::size_t frames = std::size_t(std::min<std::int64_t>(std::size(block) / 2, target - song->skipped));
    const std::size_t got = openmpt_module_read_interleaved_stereo(song->module, rate_hz, frames, block);
    song->skipped += std::int64_t(frames);
    if (got < frames) break;  // the song ended (it does not, as it repeats forever)
  }
  return true;
}

std::string tune_damage_text(const std::string& name, const TuneDamage& damage) {
  if (damage.missing_bytes <= 0) return "";
  return name + " is damaged: it is cut short, " + (damage.at_least ? "at least " : "") +
         std::to_string(damage.missing_bytes) + " bytes are missing (the file has " +
         std::to_string(damage.file_bytes) + " bytes)";
}

int output_error_code(const char* sdl_message) {
  if (!sdl_message) return SOUND_OUTPUT_INIT;
  std::string text(sdl_message);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  const bool busy = text.find("busy") != std::string::npos || text.find("in use") != std::string::npos;
  return busy ? SOUND_OUTPUT_BUSY : SOUND_OUTPUT_INIT;
}

double tune_seconds_at_order(const TuneFileCallbacks& callbacks, const char* name, int order) {
  int error = 0;
  openmpt_module* module = tune_load(callbacks, name, &error);
  if (!module) return -1;
  double seconds = -1;
  if (order >= 0 && order < openmpt_module_get_num_orders(module))
    seconds = openmpt_module_set_position_order_row(module, order, 0);
  openmpt_module_destroy(module);
  return seconds;
}
