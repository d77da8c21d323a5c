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
unsigned long long gAllocationsBySize[kSizeClasses] = {};
const char* const kSizeClassNames[kSizeClasses] = {"1-32", "33-64", "65-128", "129-256", "257-1024", "1025-4096", ">4096"};
}  // namespace kivobench

namespace {
void Count(std::size_t size) {
    ++kivobench::gAllocationCount;
    int sizeClass = size <= 32 ? 0 : size <= 64 ? 1 : size <= 128 ? 2 : size <= 256 ? 3 : size <= 1024 ? 4 : size <= 4096 ? 5 : 6;
    ++kivobench::gAllocationsBySize[sizeClass];
}
}  // namespace

extern "C" {

void* malloc(std::size_t size) {
    Count(size);
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    Count(count * size);
    return __libc_calloc(count, size);
}

void* realloc(void* old, std::size_t size) {
    Count(size);
    return __libc_realloc(old, size);
}

void free(void* block) { __libc_free(block); }

}  // extern "C"
