// glibc's malloc tunable behind releaseLargeBuffersAtOnce; other C libraries keep their own
// policy.
#include "platform/memory_release.h"

#include <cstdlib>  // defines __GLIBC__ where glibc is the C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillmark::platform {

void releaseLargeBuffersAtOnce() {
#if defined(__GLIBC__)
    // Setting the threshold at all also stops glibc from moving it.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

}  // namespace quillmark::platform
