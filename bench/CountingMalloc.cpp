// Counts the calls to malloc, calloc and realloc of the whole process, so the
// comparison can report allocations per megabyte for every parser alike (the
// C libraries call malloc directly, the C++ one through operator new). The
// work is still done by glibc's own allocator; only a counter is added.
#include "bench/CountingMalloc.h"

#include <cstddef>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* old, std::size_t size);
void __libc_free(void* block);
}

namespace kivobench {
unsigned long long gAllocationCount = 0;
}

extern "C" {

void* malloc(std::size_t size) {
    ++kivobench::gAllocationCount;
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    ++kivobench::gAllocationCount;
    return __libc_calloc(count, size);
}

void* realloc(void* old, std::size_t size) {
    ++kivobench::gAllocationCount;
    return __libc_realloc(old, size);
}

void free(void* block) { __libc_free(block); }

}  // extern "C"
