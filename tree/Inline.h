#pragma once
// Where the hot paths overrule the compiler's inlining budget.
// KIVOPARSE_INLINE keeps a small function in line where the budget would
// otherwise call it (the calls that test a node's kind grew their callers;
// the writer's sinks are called for every piece). KIVOPARSE_NOINLINE keeps
// a function out of the callers it would be merged into (the raw-text work
// out of the default parse's loop, a sink's growth out of its Put).
#if defined(__GNUC__)
#define KIVOPARSE_INLINE inline __attribute__((always_inline))
#define KIVOPARSE_NOINLINE __attribute__((noinline))
#else
#define KIVOPARSE_INLINE inline
#define KIVOPARSE_NOINLINE
#endif
