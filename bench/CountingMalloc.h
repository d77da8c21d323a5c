#pragma once

namespace kivobench {
// Calls to malloc, calloc and realloc since the process started (one thread
// at a time: the comparison allocates on its main thread only).
extern unsigned long long gAllocationCount;
// The same calls by requested size: up to 32 bytes, 64, 128, 256, 1024,
// 4096, and above.
constexpr int kSizeClasses = 7;
extern unsigned long long gAllocationsBySize[kSizeClasses];
extern const char* const kSizeClassNames[kSizeClasses];
}  // namespace kivobench
