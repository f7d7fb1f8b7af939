// SPDX-License-Identifier: BSD-2-Clause
#ifndef G723_BENCH_PEERS_HEAP_COUNTER_H
#define G723_BENCH_PEERS_HEAP_COUNTER_H

#include <cstddef>

namespace g723::bench {

// Heap that a codec's create call keeps: the bytes requested by every block
// allocated while a count is open and not freed before it closes.
//
// The program defines malloc, calloc, realloc, free and the aligned
// allocations itself (heap_counter.cpp); they pass every call on to the C
// library's allocator and, while a count is open, note the blocks. A
// library's create call then shows what it allocates, however the library
// is built. One count at a time, on one thread.
class heap_count {
public:
    heap_count();
    ~heap_count();
    heap_count(const heap_count&) = delete;
    heap_count& operator=(const heap_count&) = delete;

    // Bytes requested by the blocks allocated so far and still held.
    std::size_t bytes() const;
    std::size_t blocks() const;
    // False when more blocks were allocated than the count can follow.
    bool complete() const;
};

// True when the program's allocation functions are the ones in use (they are
// not under a sanitizer's allocator, for one).
bool heap_counting_works();

}  // namespace g723::bench

#endif
