#pragma once
// Hot pixel loops are compiled twice on x86-64, for the baseline and for
// AVX2, and the loader picks the one the processor runs; elsewhere once.
// The loops stay plain C++: both versions compute the same integers.

#if defined(__x86_64__) && defined(__has_attribute)
#if __has_attribute(target_clones) && !defined(__SANITIZE_ADDRESS__)
#define LUM_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef LUM_VECTOR_CLONES
#define LUM_VECTOR_CLONES
#endif
