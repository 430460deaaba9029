// The window test and the local-time rule of the timed layers.
#include <gtest/gtest.h>

#include "driver/layers.h"
#include "driver/show.h"

namespace {

Layer window(int start_order, int start_row, int end_order, int end_row) {
  Layer l;
  l.start_order = start_order;
  l.start_row = start_row;
  l.end_order = end_order;
  l.end_row = end_row;
  return l;
}

}  // namespace

TEST(IsLayerOpen, Window2Row10To4Row20OpensAtRow16ClosesAtRow32) {
  const Layer l = window(2, 0x10, 4, 0x20);
  const struct {
    int order, row;
    bool open;
  } cases[] = {{2, 15, false}, {2, 16, true}, {3, 0, true},  {3, 63, true},
               {4, 31, true},  {4, 32, false}, {1, 40, false}, {5, 0, false}};
  for (const auto& c : cases) EXPECT_EQ(is_layer_open(l, c.order, c.row), c.open) << c.order << "." << c.row;
}

TEST(IsLayerOpen, SameOrderWindowIsHalfOpenAndEmptyWhenRowsAreEqual) {
  const Layer l = window(3, 8, 3, 12);
  EXPECT_FALSE(is_layer_open(l, 3, 7));
  EXPECT_TRUE(is_layer_open(l, 3, 8));
  EXPECT_FALSE(is_layer_open(l, 3, 12));
  const Layer never = window(3, 8, 3, 8);
  for (int row = 0; row < 64; ++row) EXPECT_FALSE(is_layer_open(never, 3, row));
}

TEST(LayerLocalTime, Rate30OpeningAt12Point5SecondsStartsAtZeroAndRunsOn) {
  Layer l;
  l.param3 = "30";
  EXPECT_EQ(layer_local_time(l, 12.5), 0);
  EXPECT_EQ(l.start_mark, 375);
  EXPECT_EQ(layer_local_time(l, 13.5), 30);
  EXPECT_EQ(layer_local_time(l, 20.5), 240);  // ran on while the window was closed
  Layer truncating;
  truncating.param3 = "3";
  layer_local_time(truncating, 0.99);  // v = 2.97: the mark is 2, not 2.97
  EXPECT_EQ(layer_local_time(truncating, 1.32), 1);
}

TEST(LayerLocalTime, NoNumberFreezesAtZeroAndHugeRatesDoNotOverflow) {
  Layer frozen;
  frozen.param3 = "fast";
  layer_local_time(frozen, 100.0);
  EXPECT_EQ(layer_local_time(frozen, 200.0), 0);
  Layer huge;
  huge.param3 = "2000000000";
  layer_local_time(huge, 0.5);
  EXPECT_EQ(huge.start_mark, 1000000000);
  layer_local_time(huge, 100.0);  // v far beyond 32 bits: clamped, no undefined behaviour
  EXPECT_EQ(huge.local_time, 2147483647 - 1000000000);
}
