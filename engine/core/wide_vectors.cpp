// The processor check behind wideVectorsAvailable.
#include "engine/core/wide_vectors.h"

#include <atomic>

namespace quillmark::engine {
namespace {

std::atomic<bool> allowed{true};

bool processorHasWideVectors() {
#if defined(QUILLMARK_WIDE_VECTORS)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

}  // namespace

bool wideVectorsAvailable() {
    return allowed.load(std::memory_order_relaxed) && processorHasWideVectors();
}

void allowWideVectors(bool allow) {
    allowed.store(allow, std::memory_order_relaxed);
}

}  // namespace quillmark::engine
