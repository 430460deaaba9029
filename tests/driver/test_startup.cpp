// Start-up order, shutdown and every failure path, through recording fakes of the platform.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "fake_platform.h"
#include "stderr_pipe.h"
#include "testdata.h"

namespace {

// Runs the show with the fakes in a scratch directory holding `script` as script.txt.
class StartupTest : public ::testing::Test {
 protected:
  int run(const std::string& name, const std::string& script, bool write_script = true) {
    const auto dir = scratch_dir("startup_" + name);
    if (write_script) write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
    options.script_path = (dir / "script.txt").string();
    Platform p = fake.platform();
    return run_show(p, options);
  }
  const std::vector<std::string>& log() const { return fake.log.lines; }

  FakePlatform fake;
  ShowOptions options;
};

const std::string radialblur_show =
    "tune song.mod\r\nquitpat 2\r\npattern 0 3\r\n{\r\nradialblur 0 3 0 0 - 10 10 -\r\n}\r\n";

}  // namespace

TEST_F(StartupTest, NormalRunFollowsTheStartUpOrderAndEndsWithOne) {
  fake.sound.positions = {{0, 0}, {1, 5}, {2, 0}};
  EXPECT_EQ(run("normal", radialblur_show), exit_show_ended);
  const std::vector<std::string> expected = {
      "dialog",
      "video_init",
      "set_output 2",
      "set_file_callbacks",
      "set_driver 0",
      "set_mixer 4",
      "init 44100 64 0",
      "load_song song.mod",
      "create_console",
      "option DirectX",
      "option fullscreen output",
      "option center window",
      "open quindle07 super fast demo 320x200 32",
      "screen_size",
      "place 192,144 640x480",
      "play_song",
      "free_song",
      "sound_close",
      "console_destroyed",
  };
  EXPECT_EQ(log(), expected);
  // The frame that first reports the quit order is drawn; no position is read after it.
  EXPECT_EQ(fake.toolkit.frames, 3);
  EXPECT_EQ(fake.sound.order_reads, 3);
}

TEST_F(StartupTest, AnswerFromTheCommandLineSkipsTheDialog) {
  options.answer = SetupChoice{true, false};
  fake.sound.positions = {{2, 0}};
  run("answered", radialblur_show);
  EXPECT_FALSE(fake.log.contains("dialog"));
  EXPECT_TRUE(fake.log.contains("option windowed output"));
}

TEST_F(StartupTest, CancelledDialogEndsWithOneAndDoesNothingElse) {
  fake.window.answer = {false, false};
  EXPECT_EQ(run("cancel", radialblur_show), exit_dialog_cancelled);
  EXPECT_EQ(log(), std::vector<std::string>{"dialog"});
}

TEST_F(StartupTest, MissingScriptShowsScriptLoadingFailed) {
  EXPECT_EQ(run("noscript", "", false), exit_startup_failed);
  EXPECT_EQ(log(), (std::vector<std::string>{"dialog", "video_init", "message_box script loading failed | error"}));
}

TEST_F(StartupTest, UnknownLayerStopsBeforeAnyMusicWithNullPointerError) {
  EXPECT_EQ(run("unknown", "tune a.mod\npattern 0 1\n{\nsparkle 0 1 0 0 a b c d\n}\n"), exit_startup_failed);
  EXPECT_EQ(log().back(), "message_box null pointer error | error in script -> loading data");
  EXPECT_FALSE(fake.log.contains("set_output 2"));
  EXPECT_FALSE(fake.log.contains("create_console"));
}

TEST_F(StartupTest, SoundInitFailureIsShownAndTheShowGoesOn) {
  fake.sound.init_ok = false;
  fake.sound.error = SOUND_OUTPUT_INIT;
  fake.sound.positions = {{2, 0}};
  EXPECT_EQ(run("noinit", radialblur_show), exit_show_ended);
  EXPECT_TRUE(fake.log.contains("message_box Error initializing output device. | fmod player init failed"));
  EXPECT_FALSE(fake.log.contains("load_song song.mod"));
  EXPECT_TRUE(fake.log.contains("create_console"));
}

TEST_F(StartupTest, MissingTuneShowsFileNotFoundAndTheShowGoesOn) {
  fake.sound.load_ok = false;
  fake.sound.error = SOUND_FILE_NOT_FOUND;
  fake.sound.positions = {{2, 0}};
  StderrPipe pipe;
  EXPECT_EQ(run("notune", radialblur_show), exit_show_ended);
  const std::string err = pipe.finish();
  const int box = fake.log.index_of("message_box File not found | fmod player init failed");
  ASSERT_GE(box, 0);
  EXPECT_LT(box, fake.log.index_of("create_console"));
  EXPECT_NE(err.find("quindle: " + options.script_path + ":1: warning: the tune \"song.mod\" cannot be played (File "
                     "not found)"),
            std::string::npos)
      << err;
}

TEST_F(StartupTest, EscapeClosesTheConsoleAndLeavesTheMusicPlaying) {
  fake.toolkit.keys_per_frame = {{}, {'a', 'b'}, {'x', key_escape, 'y'}};
  EXPECT_EQ(run("escape", radialblur_show), exit_escape);
  const int close = fake.log.index_of("console_close");
  ASSERT_GE(close, 0);
  EXPECT_EQ(fake.log.index_of("console_destroyed"), close + 1);
  EXPECT_FALSE(fake.log.contains("free_song"));
  EXPECT_FALSE(fake.log.contains("sound_close"));
  EXPECT_EQ(fake.sound.order_reads, 3);  // Escape was found in the third frame's poll
}

TEST_F(StartupTest, QuitOrderZeroDrawsNoFrame) {
  EXPECT_EQ(run("quit0", "quitpat 0\n"), exit_show_ended);
  EXPECT_EQ(fake.sound.order_reads, 0);
  EXPECT_EQ(fake.toolkit.frames, 0);
}

// Beside the message box, standard error names the script, the line and the reason, in the
// words script-check uses.
TEST_F(StartupTest, FailuresNameFileAndLineOnStandardError) {
  const std::string texture = testdata_path("pcx/tex256x256_im.pcx").string();
  struct Case {
    const char* name;
    std::string script;
    int line;  // 0: no line
    std::string problem;
  };
  const Case cases[] = {
      {"stderr_unknown", "tune a.mod\npattern 0 1\n{\nsparkle 0 1 0 0 a b c d\n}\n", 4,
       "unknown layer keyword \"sparkle\""},
      {"stderr_missing", "tune a.mod\npattern 0 1\n{\nbitmap 0 1 0 0 missing.pcx no no -\n}\n", 4,
       "bitmap: data file \"missing.pcx\" does not exist"},
      {"stderr_brace", "tune a.mod\npattern 0 1\nbitmap 0 1 0 0 missing.pcx no no -\n", 2,
       "a \"pattern\" line must be followed by a line that begins with \"{\""},
      {"stderr_size", "tune a.mod\npattern 0 1\n{\nbitmap 0 1 0 0 " + texture + " no no -\n}\n", 4,
       "bitmap: \"" + texture + "\" is 256x256 pixels; bitmap layers need 320x200"},
      {"stderr_scene", "tune a.mod\npattern 0 1\n{\n3d_mesh 0 1 0 0 " + texture + " no 25 wireframe\n}\n", 4,
       "3d_mesh: \"" + texture + "\" cannot be loaded: scene code 4, not a supported file or version"},
  };
  for (const Case& c : cases) {
    StderrPipe pipe;
    EXPECT_EQ(run(c.name, c.script), exit_startup_failed) << c.name;
    const std::string err = pipe.finish();
    const std::string expected = "quindle: " + options.script_path + ":" + std::to_string(c.line) + ": error: " + c.problem + "\n";
    EXPECT_NE(err.find(expected), std::string::npos) << c.name << "\n" << err;
  }
}

TEST_F(StartupTest, MissingScriptIsNamedOnStandardError) {
  StderrPipe pipe;
  EXPECT_EQ(run("stderr_noscript", "", false), exit_startup_failed);
  const std::string err = pipe.finish();
  EXPECT_NE(err.find("quindle: " + options.script_path + ": error: cannot open the script\n"), std::string::npos) << err;
}
