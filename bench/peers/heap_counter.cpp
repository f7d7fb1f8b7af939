// SPDX-License-Identifier: BSD-2-Clause
#include "heap_counter.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <malloc.h>

// The C library's allocator under its own names, which it exports for
// programs that define their own malloc.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace g723::bench {

namespace {

struct held_block {
    void* address;
    std::size_t size;
};

// The blocks allocated while a count is open. Filled and searched without
// allocating, since the allocation functions themselves use it.
struct block_record {
    bool counting = false;
    bool overflowed = false;
    std::size_t used = 0;
    std::array<held_block, 1024> blocks{};
};

block_record record;

void note_allocated(void* address, std::size_t size) {
    if (!record.counting || address == nullptr) return;
    if (record.used == record.blocks.size()) {
        record.overflowed = true;
        return;
    }
    record.blocks[record.used++] = {address, size};
}

void note_freed(void* address) {
    if (!record.counting || address == nullptr) return;
    for (std::size_t i = 0; i < record.used; ++i) {
        if (record.blocks[i].address == address) {
            record.blocks[i] = record.blocks[--record.used];
            return;
        }
    }
}

}  // namespace

heap_count::heap_count() {
    record.counting = true;
    record.overflowed = false;
    record.used = 0;
}

heap_count::~heap_count() { record.counting = false; }

std::size_t heap_count::bytes() const {
    std::size_t total = 0;
    for (std::size_t i = 0; i < record.used; ++i) total += record.blocks[i].size;
    return total;
}

std::size_t heap_count::blocks() const { return record.used; }

bool heap_count::complete() const { return !record.overflowed; }

bool heap_counting_works() {
    heap_count count;
    // Volatile, so that the compiler cannot elide the pair.
    void* volatile block = std::malloc(40);
    const bool seen = count.bytes() == 40 && count.blocks() == 1;
    std::free(block);
    return seen && count.blocks() == 0;
}

}  // namespace g723::bench

// Every library the program loads reaches these: the executable's own
// definitions come first in the dynamic linker's search. They are exported
// explicitly because the project builds with hidden visibility.
#define G723_INTERPOSED extern "C" __attribute__((visibility("default")))

G723_INTERPOSED void* malloc(std::size_t size) noexcept {
    void* block = __libc_malloc(size);
    g723::bench::note_allocated(block, size);
    return block;
}

G723_INTERPOSED void* calloc(std::size_t count, std::size_t size) noexcept {
    void* block = __libc_calloc(count, size);
    // A product that overflows has already made the allocation fail.
    if (block != nullptr) g723::bench::note_allocated(block, count * size);
    return block;
}

G723_INTERPOSED void* realloc(void* old_block, std::size_t size) noexcept {
    void* block = __libc_realloc(old_block, size);
    if (block != nullptr || size == 0) g723::bench::note_freed(old_block);
    g723::bench::note_allocated(block, size);
    return block;
}

G723_INTERPOSED void free(void* block) noexcept {
    g723::bench::note_freed(block);
    __libc_free(block);
}

G723_INTERPOSED void* memalign(std::size_t alignment, std::size_t size) noexcept {
    void* block = __libc_memalign(alignment, size);
    g723::bench::note_allocated(block, size);
    return block;
}

G723_INTERPOSED void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    return memalign(alignment, size);
}

G723_INTERPOSED int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
    // A power of two and a multiple of a pointer's size, as the C library asks.
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* block = memalign(alignment, size);
    if (block == nullptr) return ENOMEM;
    *result = block;
    return 0;
}
