// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/allocationCounter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

// glibc's allocator under its internal names; defining malloc and its siblings
// in the program puts these wrappers in front of it for every library.
extern "C" {
void* __libc_malloc(std::size_t size) noexcept;
void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
void* __libc_realloc(void* pointer, std::size_t size) noexcept;
void* __libc_memalign(std::size_t alignment, std::size_t size) noexcept;
void* __libc_valloc(std::size_t size) noexcept;
void* __libc_pvalloc(std::size_t size) noexcept;
}

namespace {

std::atomic<bool> counting{false};
std::atomic<std::uint64_t> allCalls{0};
std::atomic<std::uint64_t> largeCalls{0};
std::atomic<std::uint64_t> largeTotal{0};

void note(std::size_t size) {
    if (!counting.load(std::memory_order_relaxed)) {
        return;
    }
    allCalls.fetch_add(1, std::memory_order_relaxed);
    if (size >= allocationCounter::largeBytes) {
        largeCalls.fetch_add(1, std::memory_order_relaxed);
        largeTotal.fetch_add(size, std::memory_order_relaxed);
    }
}

} // namespace

extern "C" {

void* malloc(std::size_t size) noexcept {
    note(size);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
    note(count * size);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept {
    note(size);
    return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
    note(size);
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    note(size);
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    note(size);
    void* pointer = __libc_memalign(alignment, size);
    if (!pointer && size != 0) {
        return ENOMEM;
    }
    *result = pointer;
    return 0;
}

void* valloc(std::size_t size) noexcept {
    note(size);
    return __libc_valloc(size);
}

void* pvalloc(std::size_t size) noexcept {
    note(size);
    return __libc_pvalloc(size);
}

} // extern "C"

namespace allocationCounter {

void start() {
    allCalls = 0;
    largeCalls = 0;
    largeTotal = 0;
    counting = true;
}

Counts stop() {
    counting = false;
    return {allCalls.load(), largeCalls.load(), largeTotal.load()};
}

} // namespace allocationCounter
