// Under a tight address-space limit (ulimit -v a little above what the
// shared libraries take) malloc fails from the start, before main: the
// command-line library builds its option objects then, and an allocation
// that fails there aborts the process. What malloc refuses is served from a
// small reserve instead, as long as it lasts, and never given back; --version
// and the message about the limit need no more. Left out under the
// sanitizers, which bring their own.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KIVOPARSE_CLI_SANITIZED 1
#endif
#endif
#if !defined(KIVOPARSE_CLI_SANITIZED) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

namespace {

constexpr std::size_t kReserveBytes = 16384;
alignas(std::max_align_t) char gReserve[kReserveBytes];
std::atomic<std::size_t> gReserveUsed{0};

bool InReserve(const void* p) {
    auto address = reinterpret_cast<std::uintptr_t>(p);
    auto start = reinterpret_cast<std::uintptr_t>(gReserve);
    return address >= start && address < start + kReserveBytes;
}

}  // namespace

void* operator new(std::size_t size) {
    for (;;) {
        if (void* p = std::malloc(size > 0 ? size : 1)) return p;
        constexpr std::size_t kAlign = alignof(std::max_align_t);
        std::size_t rounded = (size + kAlign - 1) / kAlign * kAlign;
        std::size_t used = gReserveUsed.fetch_add(rounded);
        if (rounded <= kReserveBytes && used <= kReserveBytes - rounded) return gReserve + used;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

void operator delete(void* p) noexcept {
    if (!InReserve(p)) std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

#endif
