// blend.h: whole-array pixel operations that compose pictures into the frame.
// Pixels are 0x00RRGGBB; the arrays belong to the caller and nothing is allocated.
// Each operation works on the first n pixels, n = the smallest size of its spans. A destination
// may be the very same array as an input (not a shifted view of it): each pixel is read first.
#pragma once

#include <cstdint>
#include <span>

// destination[i] <- source[i] wherever source[i] != 0; the whole 32-bit value is tested,
// so 0 (black with top byte 0) is transparent and 0x00000001 is copied.
void copy_nonzero(std::span<const std::uint32_t> source, std::span<std::uint32_t> destination);

// Per byte c: destination.c <- (over.c * L + under.c * (255 - L)) >> 8, L = level & 0xFF.
// The division is by 256, so neither end reproduces an input: L = 255 turns over's 255 into 254.
void fade_blend(std::span<const std::uint32_t> under, std::span<const std::uint32_t> over,
                std::span<std::uint32_t> destination, int level);

// Per byte c: destination.c <- min(a.c + b.c, 255).
void add_saturate(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                  std::span<std::uint32_t> destination);

// The same operations on a chosen path of base/pixel_path.h, which the processor must support;
// the ones above use pixel_path_selected(). Tests and benchmarks run every path through these.
void copy_nonzero_on(int path, std::span<const std::uint32_t> source, std::span<std::uint32_t> destination);
void fade_blend_on(int path, std::span<const std::uint32_t> under, std::span<const std::uint32_t> over,
                   std::span<std::uint32_t> destination, int level);
void add_saturate_on(int path, std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                     std::span<std::uint32_t> destination);

// The per-byte rules above written one byte at a time: the reference the packed paths match.
void copy_nonzero_reference(std::span<const std::uint32_t> source, std::span<std::uint32_t> destination);
void fade_blend_reference(std::span<const std::uint32_t> under, std::span<const std::uint32_t> over,
                          std::span<std::uint32_t> destination, int level);
void add_saturate_reference(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                            std::span<std::uint32_t> destination);
