#pragma once

namespace kivobench {
// Calls to malloc, calloc and realloc since the process started (one thread
// at a time: the comparison allocates on its main thread only).
extern unsigned long long gAllocationCount;
}  // namespace kivobench
