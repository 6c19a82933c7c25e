// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Counts the heap allocations of the whole process (malloc and everything
// built on it: operator new, OpenCV's fastMalloc, Qt) while switched on. Link
// allocationCounter.cpp into a program to use it; it forwards every call to
// the C library's allocator, so behaviour is unchanged.
namespace allocationCounter {

// Allocations of at least this many bytes count as "large": the smallest
// working image of a tick (the 200 x 100 region plane) has 20 000 bytes.
constexpr std::size_t largeBytes = 16 * 1024;

struct Counts {
    std::uint64_t all = 0;
    std::uint64_t large = 0;
    std::uint64_t largeTotalBytes = 0;
};

void start();
Counts stop();

} // namespace allocationCounter
