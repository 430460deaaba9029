// resources.h: the program's built-in pictures, computed by code: the setup dialog's
// picture (bitmap 110, 320x200, 8 bits per pixel with a palette) and the program icon
// (icon group 107). Nothing is read from files; each call draws its picture afresh.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

constexpr int resource_setup_dialog = 101;
constexpr int resource_icon = 107;
constexpr int resource_dialog_bitmap = 110;

// Palette indices, top row first, rows without gaps; palette entries are 0x00RRGGBB.
struct IndexedBitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> indices;
  std::array<std::uint32_t, 256> palette{};
};

// One image of an icon group: size x size pixels of 0xAARRGGBB, top row first.
struct IconImage {
  int size = 0;
  std::vector<std::uint32_t> pixels;
};

// The bitmap with that resource id; an empty bitmap for ids the program does not have.
IndexedBitmap resource_bitmap(int id);
// The images of that icon group, smallest first (16, 32 and 48 pixels); empty for other ids.
std::vector<IconImage> resource_icon_group(int id);
