// cmd_tune_info.cpp: tune-info prints a tune's order table as the show will play it.
#include <cstdio>
#include <filesystem>
#include <string>

#include "driver/music.h"
#include "platform/tune_table.h"
#include "tools/commands.h"
#include "tools/json.h"

namespace {

void print_json(const TuneTable& table) {
  JsonWriter json(stdout);
  json.begin_object();
  json.key("length_s").value(table.length_s);
  json.key("loop_order").value(table.loop_order);
  json.key("loop_row").value(table.loop_row);
  json.key("cut").value(table.cut);
  json.key("orders").begin_array();
  for (std::size_t o = 0; o < table.orders.size(); ++o) {
    const TuneOrder& order = table.orders[o];
    json.begin_object();
    json.key("order").value(int(o));
    json.key("pattern").value(order.pattern);
    json.key("rows").value(order.rows);
    json.key("played").value(order.played);
    if (order.played) {
      json.key("first_row").value(order.first_row);
      json.key("start_s").value(order.start_s);
    }
    json.end_object();
  }
  json.end_array();
  json.end_object();
  json.newline();
}

// Orders, patterns and rows in hexadecimal, as a script writes them.
void print_text(const std::string& path, const TuneTable& table) {
  std::printf("%s: %zu orders; one pass lasts %.3f s", path.c_str(), table.orders.size(), table.length_s);
  if (table.cut) std::printf(" or more (followed for the first %.0f s only)", table.length_s);
  if (table.loop_order >= 0)
    std::printf(", then the song goes on at order %02X row %02X\n", unsigned(table.loop_order), unsigned(table.loop_row));
  else
    std::printf(", then the song stops\n");
  std::printf("order  pattern  rows  start\n");
  for (std::size_t o = 0; o < table.orders.size(); ++o) {
    const TuneOrder& order = table.orders[o];
    std::printf("%02zX     ", o);
    if (order.pattern >= 0) std::printf("%02X       %02X    ", unsigned(order.pattern), unsigned(order.rows));
    else std::printf("--       --    ");
    if (!order.played) std::printf("not played\n");
    else if (order.first_row) std::printf("%.3f s at row %02X\n", order.start_s, unsigned(order.first_row));
    else std::printf("%.3f s\n", order.start_s);
  }
}

}  // namespace

int cmd_tune_info(const ToolArgs& args) {
  const std::string& path = args.operands[0];
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    std::fprintf(stderr, "quindle-tool: %s is a folder, not a tune\n", path.c_str());
    return 1;
  }
  TuneTable table;
  if (const int code = tune_table_read(path, &table)) {
    std::fprintf(stderr, "quindle-tool: %s: %s\n", path.c_str(), error_text(code));
    return 1;
  }
  if (table.damage.missing_bytes > 0) std::fprintf(stderr, "quindle-tool: %s\n", tune_damage_text(path, table.damage).c_str());
  if (args_flag(args, "--json")) print_json(table);
  else print_text(path, table);
  return 0;
}
