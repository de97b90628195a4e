// Whether this processor runs 32-byte vector instructions (AVX2), asked once; the byte scans
// that have a 32-byte loop take it only then. Tests may hold the scans to their 16-byte loops
// to check that both give the same answers.
#pragma once

namespace quillmark::engine {

#if defined(__GNUC__) && defined(__x86_64__)
#define QUILLMARK_WIDE_VECTORS 1
// A function with 32-byte loops, compiled for AVX2 whatever the build's baseline; called only
// when wideVectorsAvailable().
#define QUILLMARK_WIDE_FUNCTION __attribute__((target("avx2")))
#endif

bool wideVectorsAvailable();

// For tests: false holds every scan to its 16-byte loop; true gives back what the processor has.
void allowWideVectors(bool allowed);

}  // namespace quillmark::engine
