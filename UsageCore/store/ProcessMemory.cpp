#include "store/ProcessMemory.h"

#include <cstdlib>  // defines __GLIBC__ where glibc is the C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ProcessMemory {

void returnLargeBuffersPromptly() {
#if defined(__GLIBC__)
  // glibc's own starting value, now fixed: setting it turns the dynamic raise off.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void shareArenas() {
#if defined(__GLIBC__)
  mallopt(M_ARENA_MAX, 2);
#endif
}

}  // namespace ProcessMemory
