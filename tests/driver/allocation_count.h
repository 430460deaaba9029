// allocation_count.h: counts the allocations of a test program (allocation_count.cpp replaces
// the global operator new), so that a test can see a frame allocate nothing. The sanitizer
// build keeps its own allocator, which checks more than a count could; there the count is off.
#pragma once

// False in the sanitizer build, where nothing is counted.
bool allocations_counted();
// Allocations made so far by this program.
long allocation_count();
