// Linked into the test build of the module only: its operator new, which
// the client makes fail once, at a chosen allocation, through the export
// KivoparseFailAllocation. Everything the module allocates with new (the
// library, the shell, the standard library's strings and lists) comes
// here.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

namespace {

// Allocations to let through before the one that fails; -1: none fails.
long gLeft = -1;
// What the failing allocation throws: 0 std::bad_alloc, else std::runtime_error.
int gKind = 0;

}  // namespace

extern "C" void WINAPI KivoparseFailAllocation(long after, int kind) {
    gKind = kind;
    gLeft = after;
}

// The failure disarms itself before it throws, so the exception's own
// allocations, the unwinding and later calls all get memory.
void* operator new(std::size_t size) {
    if (gLeft >= 0 && gLeft-- == 0) {
        if (gKind) throw std::runtime_error("an injected fault");
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
