// Names from scripts written with another case and '\' separators, found on the disk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "driver/data_files.h"
#include "driver/script.h"
#include "testdata.h"

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
      {"data\\title.pcx", "data/Title.pcx"},
      {"Data/Sub\\SCENE.3DS", "data/sub/scene.3ds"},  // both separators in one name
      {".\\DATA\\.\\TITLE.PCX", "data/Title.pcx"},
      {"data\\sub\\..\\TITLE.PCX", "data/Title.pcx"},  // ".." back within the folder
      {"TUNE.MOD", "tune.mod"},
      {"CAF\xc3\xa9.PCX", "caf\xc3\xa9.pcx"},  // bytes from 0x80 on compared exactly
      {"CAF\xc3\x89.PCX", "CAF\xc3\x89.PCX"},  // ... so a non-ASCII capital does not match
      {"missing.pcx", "missing.pcx"},          // no match: the name as written, to fail as usual
      {"DATA\\TITLE.PCX\\X", "DATA\\TITLE.PCX\\X"},  // a file is no folder
      {"..\\LOOKUP\\TUNE.MOD", "..\\LOOKUP\\TUNE.MOD"},  // no new way above the working folder
      {"DATA\\..\\..\\LOOKUP\\TUNE.MOD", "DATA\\..\\..\\LOOKUP\\TUNE.MOD"},
  };
  DataFiles files;
  for (const auto& c : cases) EXPECT_EQ(data_file_path(files, c.written), c.path) << c.written;
}

TEST(DataFilePath, ResolvedNamesAreListedOnceInTheOrderFound) {
  InFolder folder("listed");
  touch(folder.dir() / "data" / "Title.pcx");
  DataFiles files;
  data_file_path(files, "DATA\\TITLE.PCX");
  data_file_path(files, "data/Title.pcx");
  data_file_path(files, "DATA\\TITLE.PCX");
  data_file_path(files, "data\\title.pcx");
  ASSERT_EQ(files.matches.size(), 2u);
  EXPECT_EQ(files.matches[0].written, "DATA\\TITLE.PCX");
  EXPECT_EQ(files.matches[0].found, "data/Title.pcx");
  EXPECT_EQ(files.matches[1].written, "data\\title.pcx");
  EXPECT_EQ(files.folders.size(), 2u);  // the working folder and data, each read once
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
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  InFolder folder("unreadable");
  touch(folder.dir() / "data" / "Title.pcx");
  fs::permissions(folder.dir() / "data", fs::perms::none);
  DataFiles files;
  EXPECT_EQ(data_file_path(files, "DATA\\TITLE.PCX"), "DATA\\TITLE.PCX");
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
