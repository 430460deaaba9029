// Names from scripts written with another case and '\' separators, found on the disk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "driver/capture.h"
#include "driver/data_files.h"
#include "driver/script.h"
#include "driver/show.h"
#include "testdata.h"
#include "tools/show_assets.h"

namespace fs = std::filesystem;

namespace {

// Makes a scratch folder the working folder for one test, and goes back afterwards.
class InFolder {
 public:
  explicit InFolder(const std::string& name) : dir_(scratch_dir("data_files_" + name)), previous_(fs::current_path()) {
    fs::current_path(dir_);
  }
  ~InFolder() { fs::current_path(previous_); }
  const fs::path& dir() const { return dir_; }

 private:
  fs::path dir_;
  fs::path previous_;
};

// Root reads every folder, so under root the lookup runs as the unprivileged user "nobody" for
// as long as this lives (the folder it starts from is readable by everyone).
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() : was_root_(geteuid() == 0) {
    if (was_root_) {
      EXPECT_EQ(seteuid(65534), 0);
    }
  }
  ~AsOrdinaryUser() {
    if (was_root_) {
      EXPECT_EQ(seteuid(0), 0);
    }
  }

 private:
  bool was_root_;
};

void touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  write_file_bytes(path, {1});
}

}  // namespace

TEST(DataFilePath, EachNameFindsItsFile) {
  InFolder folder("lookup");
  touch(folder.dir() / "data" / "Title.pcx");
  touch(folder.dir() / "data" / "sub" / "scene.3ds");
  touch(folder.dir() / "caf\xc3\xa9.pcx");
  touch(folder.dir() / "tune.mod");
  const struct {
    const char* written;
    const char* path;
  } cases[] = {
      {"data/Title.pcx", "data/Title.pcx"},          // as written
      {"DATA\\TITLE.PCX", "data/Title.pcx"},         // folder separator and case
      {"Data/Sub\\SCENE.3DS", "data/sub/scene.3ds"},  // both separators in one name
      {".\\DATA\\.\\TITLE.PCX", "data/Title.pcx"},
      {"data\\sub\\..\\TITLE.PCX", "data/Title.pcx"},  // ".." back within the folder
      {"CAF\xc3\xa9.PCX", "caf\xc3\xa9.pcx"},  // bytes from 0x80 on compared exactly
      {"CAF\xc3\x89.PCX", "CAF\xc3\x89.PCX"},  // ... so a non-ASCII capital does not match
      {"missing.pcx", "missing.pcx"},          // no match: the name as written, to fail as usual
      {"DATA\\TITLE.PCX\\X", "DATA\\TITLE.PCX\\X"},  // a file is no folder
      {"..\\LOOKUP\\TUNE.MOD", "..\\LOOKUP\\TUNE.MOD"},  // no new way above the working folder
  };
  DataFiles files;
  for (const auto& c : cases) EXPECT_EQ(data_file_path(files, c.written), c.path) << c.written;
}

TEST(DataFilePath, SeveralMatchesTakeTheExactCaseElseTheFirstInByteOrder) {
  InFolder folder("ambiguous");
  touch(folder.dir() / "Logo.pcx");
  touch(folder.dir() / "LOGO.PCX");
  touch(folder.dir() / "logo.Pcx");
  touch(folder.dir() / "Pics" / "a.pcx");
  touch(folder.dir() / "PICS" / "a.pcx");
  const struct {
    const char* written;
    const char* path;
  } cases[] = {
      {"LoGo.pcx", "LOGO.PCX"},
      {"PICS\\A.PCX", "PICS/a.pcx"},
      {"pics\\A.PCX", "PICS/a.pcx"},
      {"Pics\\A.PCX", "Pics/a.pcx"},
  };
  DataFiles files;
  for (const auto& c : cases) EXPECT_EQ(data_file_path(files, c.written), c.path) << c.written;
  ASSERT_EQ(files.matches.size(), 4u);
  EXPECT_EQ(data_file_ambiguity(files.matches[0]), "LoGo.pcx matches LOGO.PCX, Logo.pcx and logo.Pcx; using LOGO.PCX");
  EXPECT_EQ(data_file_ambiguity(files.matches[3]), "Pics\\A.PCX matches PICS and Pics; using Pics/a.pcx");
}

TEST(DataFilePath, AmbiguityIsReportedOnce) {
  InFolder folder("report");
  touch(folder.dir() / "Logo.pcx");
  touch(folder.dir() / "LOGO.PCX");
  touch(folder.dir() / "Title.pcx");
  DataFiles files;
  data_file_path(files, "logo.pcx");
  data_file_path(files, "title.pcx");
  char buffer[512] = {};
  std::FILE* out = fmemopen(buffer, sizeof buffer - 1, "w");
  ASSERT_NE(out, nullptr);
  data_files_report(files, out, "quindle: ");
  data_file_path(files, "logo.pcx");
  data_files_report(files, out, "quindle: ");
  std::fclose(out);
  EXPECT_EQ(std::string(buffer), "quindle: logo.pcx matches LOGO.PCX and Logo.pcx; using LOGO.PCX\n");
}

TEST(DataFilePath, LongAndOddNamesFailAsWritten) {
  InFolder folder("odd");
  touch(folder.dir() / "a.pcx");
  const std::string long_part(300, 'A');
  const std::string long_path = "DATA\\" + std::string(5000, 'x');
  const std::string names[] = {long_part, long_path, "\\\\", "A.PCX\\", "/", "C:\\A.PCX"};
  DataFiles files;
  for (const std::string& name : names) EXPECT_EQ(data_file_path(files, name), name) << name.size();
}

TEST(DataFilePath, UnreadableFolderIsNamedInAProblem) {
  InFolder folder("unreadable");
  touch(folder.dir() / "data" / "Title.pcx");
  fs::permissions(folder.dir() / "data", fs::perms::none);
  DataFiles files;
  {
    const AsOrdinaryUser user;
    EXPECT_EQ(data_file_path(files, "DATA\\TITLE.PCX"), "DATA\\TITLE.PCX");
  }
  fs::permissions(folder.dir() / "data", fs::perms::owner_all);
  ASSERT_EQ(files.problems.size(), 1u);
  EXPECT_EQ(files.problems[0], "cannot read the folder data (Permission denied) while looking for DATA\\TITLE.PCX");
}

TEST(ResolveScriptFiles, TuneAndFileNamingLayersAreReplacedOthersKept) {
  InFolder folder("script");
  touch(folder.dir() / "Music" / "Tune.mod");
  touch(folder.dir() / "pics" / "Title.pcx");
  Script script;
  script.tune = "MUSIC\\TUNE.MOD";
  script.blocks.resize(1);
  const struct {
    std::int32_t type;
    const char* written;
    const char* after;
  } layers[] = {
      {LAYER_BITMAP, "PICS\\TITLE.PCX", "pics/Title.pcx"},
      {LAYER_IPOL_MESH, "PICS\\TITLE.PCX", "pics/Title.pcx"},
      {LAYER_3D_MESH, "PICS\\TITLE.PCX", "pics/Title.pcx"},
      {LAYER_AVIVIDEO, "PICS\\TITLE.PCX", "pics/Title.pcx"},
      {LAYER_SEQUENCE, "PICS\\TITLE.PCX", "pics/Title.pcx"},
      {LAYER_RADIALBLUR, "PICS\\TITLE.PCX", "PICS\\TITLE.PCX"},
      {LAYER_UNKNOWN, "PICS\\TITLE.PCX", "PICS\\TITLE.PCX"},
  };
  for (const auto& l : layers) {
    Layer layer;
    layer.type = l.type;
    layer.param1 = l.written;
    script.blocks[0].layers.push_back(std::move(layer));
  }
  DataFiles files;
  resolve_script_files(script, files);
  EXPECT_EQ(script.tune, "Music/Tune.mod");
  for (std::size_t i = 0; i < std::size(layers); ++i)
    EXPECT_EQ(script.blocks[0].layers[i].param1, layers[i].after) << layer_type_name(layers[i].type);
}

namespace {

// A show with a layer of every file-naming type open from its first frame, its files written
// by the sample show's writers.
const char* const every_layer_script =
    "tune %s\r\nquitpat 1\r\npattern 0 0\r\n{\r\n"
    "ipol_mesh 0 1 0 0 %s plasma 10 -\r\n"
    "3d_mesh 0 1 0 0 %s Camera01 25 flatshade\r\n"
    "sequence 0 1 0 0 %s additive 12 -\r\n"
    "avivideo 0 1 0 0 %s - - -\r\n"
    "bitmap 0 1 0 0 %s additive fade4 -\r\n"
    "}\r\n";

// The file names the script uses: as the writers name them, and as a show made on Windows
// might have them, with where each file is put for that show.
struct ShowFile {
  const char* exact;
  const char* windows_name;
  const char* windows_file;
};
const ShowFile show_files[] = {
    {"tune.mod", "TUNE.MOD", "Tune.mod"},
    {"texture.pcx", "DATA\\TEXTURE.PCX", "Data/Texture.pcx"},
    {"scene.3ds", "data\\Scene.3DS", "Data/scene.3ds"},
    {"rings.seq", "Data\\RINGS.SEQ", "Data/Rings.seq"},
    {"video.avi", "DATA\\VIDEO.AVI", "Data/video.AVI"},
    {"title.pcx", "data\\title.pcx", "Data/TITLE.pcx"},
};

std::string script_naming(const char* ShowFile::*name) {
  char text[1024];
  std::snprintf(text, sizeof text, every_layer_script, show_files[0].*name, show_files[1].*name,
                show_files[2].*name, show_files[3].*name, show_files[4].*name, show_files[5].*name);
  return text;
}

// Captures the show in `dir` (its working folder) for a few frames; returns the exit code.
int capture_in(const fs::path& dir, const fs::path& out, const std::string& script_name) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  CaptureOptions options;
  options.out = out.string();
  options.fps = 10;
  options.max_frames = 6;
  options.script_path = script_name;
  const int code = run_capture(options);
  fs::current_path(previous);
  return code;
}

}  // namespace

TEST(DataFilesShow, WindowsNamesDrawTheSameFramesAsExactNames) {
  const fs::path exact = scratch_dir("data_files_show_exact");
  ASSERT_TRUE(write_show_tune(exact));
  ASSERT_TRUE(write_show_pictures(exact));
  ASSERT_TRUE(write_show_video(exact));
  ASSERT_TRUE(write_show_scene(exact));
  const std::string exact_script = script_naming(&ShowFile::exact);
  write_file_bytes(exact / "script.txt", {exact_script.begin(), exact_script.end()});

  const fs::path windows = scratch_dir("data_files_show_windows");
  fs::create_directories(windows / "Data");
  for (const ShowFile& file : show_files) fs::copy_file(exact / file.exact, windows / file.windows_file);
  const std::string windows_script = script_naming(&ShowFile::windows_name);
  write_file_bytes(windows / "SCRIPT.TXT", {windows_script.begin(), windows_script.end()});

  const fs::path out = scratch_dir("data_files_show_out");
  ASSERT_EQ(capture_in(exact, out / "exact", "script.txt"), 0);
  ASSERT_EQ(capture_in(windows, out / "windows", "script.txt"), 0);
  for (int frame = 0; frame < 6; ++frame) {
    const std::string name = "frame_00000" + std::to_string(frame) + ".png";
    const std::vector<unsigned char> expected = read_file_bytes(out / "exact" / name);
    ASSERT_FALSE(expected.empty()) << name;
    EXPECT_EQ(read_file_bytes(out / "windows" / name), expected) << name;
  }
  EXPECT_EQ(read_file_bytes(out / "windows" / "audio.wav"), read_file_bytes(out / "exact" / "audio.wav"));
}
