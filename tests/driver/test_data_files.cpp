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
  touch(folder.dir() / "a.pcx");
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
  // Long and odd names are never found, and come back as written.
  const std::string odd[] = {std::string(300, 'A'), "DATA\\" + std::string(5000, 'x'), "\\\\", "A.PCX\\", "/", "C:\\A.PCX"};
  for (const std::string& name : odd) EXPECT_EQ(data_file_path(files, name), name) << name.size();
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

// Start-up looks the script's names up: a picture named with another case and '\' loads, so
// the capture starts (a missing picture would end it with 3).
TEST(ResolveScriptFiles, CaptureStartsWithAPictureNamedAsOnWindows) {
  InFolder folder("capture");
  fs::create_directories(folder.dir() / "Data");
  ASSERT_TRUE(write_show_pictures(folder.dir() / "Data"));
  const std::string script = "quitpat 1\r\npattern 0 0\r\n{\r\nbitmap 0 1 0 0 DATA\\TITLE.PCX no no -\r\n}\r\n";
  write_file_bytes(folder.dir() / "script.txt", {script.begin(), script.end()});
  CaptureOptions options;
  options.out = (folder.dir() / "out").string();
  options.max_frames = 1;
  options.script_path = "script.txt";
  EXPECT_EQ(run_capture(options), 0);
}
