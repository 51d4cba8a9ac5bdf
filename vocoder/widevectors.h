#pragma once
// VELK_WIDE_VECTORS before a function definition makes GCC build the function twice, for AVX2
// and for the baseline instruction set, and pick one by the CPU when the program starts. Only
// the vector width changes: the compiler never reorders floating-point sums, and AVX2 without
// FMA performs the same IEEE operations, so every machine gets identical results.
// The build option VELK_CPU_DISPATCH=OFF (VELK_NO_CPU_DISPATCH) keeps the baseline build only.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(VELK_NO_CPU_DISPATCH)
#define VELK_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define VELK_WIDE_VECTORS
#endif

// A helper marked VELK_INLINE_KERNEL is always inlined, so that it is built for the vector width
// of whichever function calls it.
#if defined(__GNUC__)
#define VELK_INLINE_KERNEL __attribute__((always_inline)) inline
#else
#define VELK_INLINE_KERNEL inline
#endif
