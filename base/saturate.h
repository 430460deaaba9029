// saturate.h: the one rule for turning a real number into a 32-bit integer: truncation toward
// zero, values beyond the int32 range saturate to its ends, NaN gives 0. A float argument
// converts to double exactly, so the rule is the same for both.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

inline std::int32_t saturate_to_int32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return std::int32_t(value);
}
