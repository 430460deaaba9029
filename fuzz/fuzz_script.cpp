// fuzz_script.cpp: any bytes as script.txt: the reader must never crash or write outside its
// records, and what it returns must be consistent.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/quindle_fuzz_script_" + std::to_string(getpid()) + ".txt";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  if (std::optional<Script> script = load_script(path)) {
    if (std::size_t(script->block_count) != script->blocks.size()) std::abort();
    for (const PatternBlock& b : script->blocks)
      if (std::size_t(b.layer_count) != b.layers.size()) std::abort();
  }
  return 0;
}
