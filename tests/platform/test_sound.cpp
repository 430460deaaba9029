// The music calls over the real sound library: error texts, the recorded set-up, and every
// way a tune can fail to load, through real files and through callbacks that fail on request.
#include <gtest/gtest.h>

#include <climits>

#include "driver/music.h"
#include "platform/sound_openmpt.h"
#include "platform/sound_session.h"
#include "sound_fixtures.h"

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> tune_bytes() {
  const std::vector<std::uint8_t> bytes = mod_encode(show_tune());
  return {bytes.begin(), bytes.end()};
}

// Loads through the offline library with the program's own callbacks; the error code.
int load_error(const fs::path& path) {
  auto sound = make_offline_sound();
  sound->set_file_callbacks(tune_file_callbacks());
  sound->init(44100, 64, 0);
  Song* song = sound->load_song(path.c_str());
  EXPECT_EQ(song != nullptr, sound->get_error() == SOUND_OK);
  return sound->get_error();
}

int load_faulty() {
  int error = SOUND_OK;
  openmpt_module* module = tune_load(faulty_callbacks(), "tune.mod", &error);
  Song owner;  // frees the module
  owner.module = module;
  EXPECT_EQ(module != nullptr, error == SOUND_OK);
  return error;
}

}  // namespace

TEST(ErrorText, EveryCodeHasItsMessage) {
  const char* const texts[] = {
      "No errors",
      "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.",
      "This command failed because FSOUND_Init was not called",
      "Error initializing output device.",
      "The output device is already in use and cannot be reused.",
      "Playing the sound failed.",
      "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
      "Error setting cooperative level for hardware.",
      "Error creating hardware sound buffer.",
      "File not found",
      "Unknown file format",
      "Error loading file",
      "Not enough memory ",
      "The version number of this file format is not supported",
      "Incorrect mixer selected",
      "An invalid parameter was passed to this function",
      "Tried to use A3D and not an A3D hardware card, or dll didnt exist, try another output type.",
      "Tried to use an EAX command on a non EAX enabled channel or output.",
      "Failed to allocate a new channel",
  };
  for (int code = 0; code <= 18; ++code) EXPECT_STREQ(error_text(code), texts[code]) << code;
}

TEST(ErrorText, CodesAbove18AndNegativeCodesAreUnknown) {
  for (int code : {19, 20, 256, INT_MAX, -1, -18, INT_MIN}) EXPECT_STREQ(error_text(code), "Unknown error") << code;
}

TEST(MusicStart, RecordsTheSetUpCallsAndLoadsTheTune) {
  const fs::path tune = write_tune("setup");
  auto sound = make_offline_sound();
  RecordingWindow window;
  Music music;
  ASSERT_EQ(music_start(music, *sound, window, tune.string()), 1);
  const SoundSetup& setup = sound->setup();
  EXPECT_EQ(setup.output, 2);
  EXPECT_EQ(setup.driver, 0);
  EXPECT_EQ(setup.mixer, 4);
  EXPECT_EQ(setup.rate_hz, 44100);
  EXPECT_EQ(setup.channels, 64);
  EXPECT_EQ(setup.flags, 0u);
  EXPECT_TRUE(setup.callbacks_set);
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_NE(music.song, nullptr);
  EXPECT_EQ(music_stop(music), 1);
}

TEST(MusicStart, MissingTuneShowsFileNotFoundAndTheSongStaysAtTheStart) {
  auto sound = make_offline_sound();
  RecordingWindow window;
  Music music;
  EXPECT_EQ(music_start(music, *sound, window, (scratch_dir("sound_missing") / "nope.mod").string()), 0);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].first, "File not found");
  EXPECT_EQ(window.boxes[0].second, "fmod player init failed");
  EXPECT_EQ(music_play(music), 1);
  sound->render_until(5.0);
  SongPosition position{7, 7};
  music_position(music, &position);
  EXPECT_EQ(position.order, 0);
  EXPECT_EQ(position.row, 0);
  EXPECT_EQ(music_stop(music), 1);
}

TEST(MusicStart, SetUpCallsAfterInitAreRefused) {
  auto sound = make_offline_sound();
  ASSERT_TRUE(sound->init(44100, 64, 0));
  sound->set_output(7);
  EXPECT_EQ(sound->get_error(), SOUND_INIT_AFTER_INIT);
  EXPECT_EQ(sound->setup().output, -1);
  EXPECT_FALSE(sound->init(44100, 64, 0));
  EXPECT_EQ(sound->load_song(nullptr), nullptr);
  EXPECT_EQ(sound->get_error(), SOUND_FILE_NOT_FOUND);
  EXPECT_FALSE(sound->play_song(nullptr));
  EXPECT_EQ(sound->get_error(), SOUND_PARAMETER);
}

TEST(LoadSong, BadFilesGiveTheirCodes) {
  const fs::path dir = scratch_dir("sound_bad_files");
  const std::string text = "tune tune.mod\nquitpat 2\nThis is a script, not a module.\n";
  write_file_bytes(dir / "empty.mod", {});
  write_file_bytes(dir / "text.mod", {text.begin(), text.end()});
  std::vector<unsigned char> bytes = tune_bytes();
  write_file_bytes(dir / "header_only.mod", {bytes.begin(), bytes.begin() + 1000});
  write_file_bytes(dir / "half.mod", {bytes.begin(), bytes.begin() + std::ptrdiff_t(bytes.size() / 2)});
  write_file_bytes(dir / "short_by_one.mod", {bytes.begin(), bytes.end() - 1});
  fs::create_directories(dir / "folder.mod");

  EXPECT_EQ(load_error(dir / "missing.mod"), SOUND_FILE_NOT_FOUND);
  EXPECT_EQ(load_error(dir / "t\xc3\xbc ne *?<>|\"\t.mod"), SOUND_FILE_NOT_FOUND);
  EXPECT_EQ(load_error(dir / "folder.mod"), SOUND_FILE_LOAD);
  EXPECT_EQ(load_error(dir / "empty.mod"), SOUND_FILE_FORMAT);
  EXPECT_EQ(load_error(dir / "text.mod"), SOUND_FILE_FORMAT);
  EXPECT_EQ(load_error(dir / "header_only.mod"), SOUND_FILE_FORMAT);
  EXPECT_EQ(load_error(dir / "half.mod"), SOUND_FILE_LOAD);
  EXPECT_EQ(load_error(dir / "short_by_one.mod"), SOUND_FILE_LOAD);
}

TEST(LoadSong, CutAtAnyLengthIsRefusedWithinBounds) {
  const std::vector<unsigned char> bytes = tune_bytes();
  std::vector<std::size_t> cuts;
  for (std::size_t n = 0; n < 1200; n += 7) cuts.push_back(n);
  for (std::size_t n = 1200; n < bytes.size(); n += 1531) cuts.push_back(n);
  for (std::size_t n : cuts) {
    faulty_reset({bytes.begin(), bytes.begin() + std::ptrdiff_t(n)});
    // Below the tag at 1080 nothing tells a module; past it the data falls short.
    EXPECT_EQ(load_faulty(), n < 1084 ? SOUND_FILE_FORMAT : SOUND_FILE_LOAD) << n;
    EXPECT_EQ(faulty_file.closes, 1);
  }
}

TEST(LoadSong, FlippedBytesNeverBreakTheLoader) {
  const std::vector<unsigned char> bytes = tune_bytes();
  std::uint32_t seed = 7;
  for (int i = 0; i < 300; ++i) {
    std::vector<unsigned char> copy = bytes;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1103515245u + 12345u;
      // Mostly the headers and patterns, where a flip changes what the loader believes.
      const std::size_t at = (seed >> 8) % (k < 3 ? 1084 + 8 * 1024 : copy.size());
      copy[at] ^= std::uint8_t(1u << (seed >> 28) % 8);
    }
    faulty_reset(copy);
    const int error = load_faulty();
    EXPECT_TRUE(error == SOUND_OK || error == SOUND_FILE_FORMAT || error == SOUND_FILE_LOAD) << i << ": " << error;
    EXPECT_EQ(faulty_file.closes, 1);
  }
}

TEST(LoadSong, OpenFailureIsFileNotFoundOrOutOfMemory) {
  faulty_reset(tune_bytes());
  faulty_file.open_errno = ENOENT;
  EXPECT_EQ(load_faulty(), SOUND_FILE_NOT_FOUND);
  faulty_file.open_errno = ENOMEM;
  EXPECT_EQ(load_faulty(), SOUND_NO_MEMORY);
  EXPECT_EQ(faulty_file.closes, 0);
}

// Each fault kind at the first 64 calls of its kind that a load makes, then at every 97th
// (the loader makes thousands of small reads): the load fails with the fault's code and the
// file is still closed exactly once.
TEST(LoadSong, EveryFailingCallbackCallFailsTheLoad) {
  struct Kind {
    const char* name;
    int FaultyFile::*arm;
    int expected;
  };
  const Kind kinds[] = {{"read error", &FaultyFile::fail_read, SOUND_FILE_LOAD},
                        {"allocation in read", &FaultyFile::throw_read, SOUND_NO_MEMORY},
                        {"seek error", &FaultyFile::fail_seek, SOUND_FILE_LOAD},
                        {"tell error", &FaultyFile::fail_tell, SOUND_FILE_LOAD}};
  const std::vector<unsigned char> bytes = tune_bytes();
  for (const Kind& kind : kinds) {
    int call = 0;
    for (;; call += call < 64 ? 1 : 97) {
      faulty_reset(bytes);
      faulty_file.*kind.arm = call;
      const int error = load_faulty();
      EXPECT_EQ(faulty_file.closes, 1) << kind.name << " at call " << call;
      if (!faulty_file.fault_fired) {
        EXPECT_EQ(error, SOUND_OK) << kind.name;
        break;
      }
      EXPECT_EQ(error, kind.expected) << kind.name << " at call " << call;
    }
    EXPECT_GT(call, 1) << kind.name;
  }
}

TEST(LoadSong, ProgramCallbacksAreTheOnlyWayIn) {
  faulty_reset(tune_bytes());
  auto sound = make_offline_sound();
  sound->set_file_callbacks(faulty_callbacks());
  sound->init(44100, 64, 0);
  Song* song = sound->load_song("any name at all");
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(faulty_file.opens, 1);
  EXPECT_EQ(faulty_file.closes, 1);  // closed once loaded, long before the song ends
  EXPECT_GT(faulty_file.reads, 0);
  EXPECT_TRUE(sound->free_song(song));
  EXPECT_FALSE(sound->free_song(song));
}

TEST(LoadSong, PartialCallbackSetIsRefused) {
  auto sound = make_offline_sound();
  TuneFileCallbacks partial = tune_file_callbacks();
  partial.tell = nullptr;
  sound->set_file_callbacks(partial);
  EXPECT_EQ(sound->get_error(), SOUND_PARAMETER);
  EXPECT_FALSE(sound->setup().callbacks_set);
}

TEST(OutputErrorCode, BusyDeviceIsToldApartFromOtherFailures) {
  EXPECT_EQ(output_error_code("ALSA: Couldn't open audio device: Device or resource busy"), SOUND_OUTPUT_BUSY);
  EXPECT_EQ(output_error_code("Audio device is already in use"), SOUND_OUTPUT_BUSY);
  EXPECT_EQ(output_error_code("ALSA: Couldn't open audio device: No such file or directory"), SOUND_OUTPUT_INIT);
  EXPECT_EQ(output_error_code(""), SOUND_OUTPUT_INIT);
  EXPECT_EQ(output_error_code(nullptr), SOUND_OUTPUT_INIT);
}

TEST(LoadSong, CutInteropTunesAreRefused) {
  SKIP_WITHOUT_TESTDATA(dir, "tunes");
  for (const char* file : {"tecnoballz.mod", "area1-game.mod", "menu.s3m", "the_big_march_in_space.it"}) {
    const std::vector<unsigned char> bytes = read_file_bytes(dir / file);
    faulty_reset(bytes);
    EXPECT_EQ(load_faulty(), SOUND_OK) << file;
    for (std::size_t n = 1; n < 8; ++n) {
      faulty_reset({bytes.begin(), bytes.begin() + std::ptrdiff_t(bytes.size() * n / 8)});
      EXPECT_EQ(load_faulty(), SOUND_FILE_LOAD) << file << " cut to " << n << "/8";
    }
    faulty_reset({bytes.begin(), bytes.begin() + 40});
    EXPECT_EQ(load_faulty(), SOUND_FILE_FORMAT) << file;
  }
}
