// show_tune.cpp: writes the sample show's tune, composed in code, as tune.mod.
#include <fstream>

#include "tools/mod_writer.h"
#include "tools/show_assets.h"

bool write_show_tune(const std::filesystem::path& dir) {
  const std::vector<std::uint8_t> bytes = mod_encode(show_tune());
  if (bytes.empty()) return false;
  std::ofstream out(dir / "tune.mod", std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  return bool(out);
}
