// The tune table against the show itself: the sample tune (a pattern break, a position jump
// and an order skipped by it) read by tune_table_read, and the times at which capture mode
// reaches each order; tunes that would make a careless reader loop or allocate; and the
// table as tune-info prints it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "driver/capture.h"
#include "platform/tune_table.h"
#include "testdata.h"
#include "tools/mod_writer.h"
#include "tools/show_assets.h"
#include "tool_runner.h"

namespace {

void write_tune(const std::filesystem::path& path, const ModSong& song) {
  const std::vector<std::uint8_t> bytes = mod_encode(song);
  write_file_bytes(path, {bytes.begin(), bytes.end()});
}

}  // namespace

// Frame n of a capture holds the position of the last sample mixed by n / fps seconds, so the
// first frame that reports an order comes after its start and at most one frame later.
TEST(TuneTable, StartTimesAgreeWithCaptureMode) {
  const std::filesystem::path dir = scratch_dir("tune_table_capture");
  ASSERT_TRUE(write_show_tune(dir));
  const std::string script = "tune " + (dir / "tune.mod").string() + "\nquitpat 0C\npattern 0 0C\n{\n}\n";
  write_file_bytes(dir / "script.txt", {script.begin(), script.end()});
  constexpr int fps = 20;
  CaptureOptions options;
  options.fps = fps;
  options.script_path = (dir / "script.txt").string();
  options.out = (dir / "out").string();
  ASSERT_EQ(run_capture(options), 0);

  std::map<int, double> first_seen;
  std::ifstream timeline(dir / "out" / "timeline.tsv");
  for (std::string line; std::getline(timeline, line);) {
    long long frame = 0;
    double seconds = 0;
    int order = 0;
    std::istringstream(line) >> frame >> seconds >> order;
    first_seen.emplace(order, double(frame) / fps);
  }
  TuneTable table;
  ASSERT_EQ(tune_table_read((dir / "tune.mod").string(), &table), 0);
  ASSERT_EQ(table.orders.size(), 13u);
  for (std::size_t o = 0; o < table.orders.size(); ++o) {
    const auto seen = first_seen.find(int(o));
    EXPECT_EQ(seen != first_seen.end(), table.orders[o].played) << "order " << o;
    if (seen == first_seen.end()) continue;
    EXPECT_GT(seen->second, table.orders[o].start_s - 1e-9) << "order " << o;
    EXPECT_LT(seen->second, table.orders[o].start_s + 1.0 / fps + 1e-9) << "order " << o;
  }
}

// Two orders that jump to each other for ever: read to the song's end, not for ever.
TEST(TuneTable, OrdersJumpingForEverEnd) {
  ModSong song = show_tune();
  song.orders = {0, 1, 2};
  song.patterns.resize(3);
  for (ModPattern& pattern : song.patterns) pattern = ModPattern{};
  song.patterns[0].at(0, 0) = {0, 0, 0xF, 0x06};
  song.patterns[0].at(3, 0) = {0, 0, 0xB, 0x01};  // to order 1
  song.patterns[1].at(3, 0) = {0, 0, 0xB, 0x00};  // back to order 0
  const std::filesystem::path dir = scratch_dir("tune_table_jumps");
  write_tune(dir / "loop.mod", song);
  TuneTable table;
  ASSERT_EQ(tune_table_read((dir / "loop.mod").string(), &table), 0);
  EXPECT_TRUE(table.orders[0].played);
  EXPECT_TRUE(table.orders[1].played);
  EXPECT_FALSE(table.orders[2].played);
  EXPECT_FALSE(table.cut);
}

// The most orders a module holds, every one an empty pattern: read whole, quickly.
TEST(TuneTable, ManyEmptyOrders) {
  ModSong song = show_tune();
  song.patterns.assign(64, ModPattern{});
  song.orders.clear();
  for (int o = 0; o < 128; ++o) song.orders.push_back(std::uint8_t(o % 64));
  const std::filesystem::path dir = scratch_dir("tune_table_empty");
  write_tune(dir / "empty.mod", song);
  TuneTable table;
  ASSERT_EQ(tune_table_read((dir / "empty.mod").string(), &table), 0);
  EXPECT_EQ(table.orders.size(), 128u);
  EXPECT_EQ(tune_table_last_played(table), 127);
  EXPECT_FALSE(table.cut);
}

TEST(TuneTable, FilesThatAreNotTunes) {
  const std::filesystem::path dir = scratch_dir("tune_table_not_tunes");
  write_file_bytes(dir / "text.mod", {'n', 'o', 't', ' ', 'a', ' ', 't', 'u', 'n', 'e'});
  const std::pair<std::filesystem::path, int> cases[] = {
      {dir / "missing.mod", 9},
      {dir / "text.mod", 10},
      {dir, 11},
  };
  for (const auto& [path, code] : cases) {
    TuneTable table;
    EXPECT_EQ(tune_table_read(path.string(), &table), code) << path;
  }
}

TEST(TuneInfo, TextAndJson) {
  const std::filesystem::path dir = scratch_dir("tune_info");
  ASSERT_TRUE(write_show_tune(dir));
  const ToolRun text = run_tool("tune-info " + (dir / "tune.mod").string());
  EXPECT_EQ(text.code, 0);
  const std::string expected_rows[] = {
      "order  pattern  rows  start\n",
      "06     05       40    33.600 s at row 10\n",
      "08     03       40    not played\n",
      "0C     07       40    60.800 s\n",
  };
  for (const std::string& row : expected_rows) EXPECT_NE(text.out.find(row), std::string::npos) << row << text.out;
  EXPECT_NE(text.out.find("13 orders; one pass lasts 67.200 s, then the song goes on at order 02 row 00\n"),
            std::string::npos)
      << text.out;
  const ToolRun json = run_tool("tune-info --json " + (dir / "tune.mod").string());
  EXPECT_EQ(json.code, 0);
  EXPECT_NE(json.out.find("{\"order\":8,\"pattern\":3,\"rows\":64,\"played\":false}"), std::string::npos) << json.out;
  const ToolRun folder = run_tool("tune-info " + dir.string());
  EXPECT_EQ(folder.code, 1);
  EXPECT_EQ(folder.err, "quindle-tool: " + dir.string() + " is a folder, not a tune\n");
}
